#!/usr/bin/env bash
# Installs what the Windows build and its Wine checks need on Debian 12 (run
# as root), without recommended packages, skipping apt-get when every package
# is already there: the MinGW-w64 cross compilers, 64-bit Wine and 32-bit
# Wine (the i386 architecture is added for it), a virtual X
# server with keys, window listing and screenshots, and the parts of wine64's
# recommends that drawing with Mesa's OpenGL on X needs (OpenGL and its
# software driver, the X extensions Wine's display driver loads at run time:
# RandR for the full-screen mode, Render, cursors, input, Xinerama,
# XF86VidMode, Composite, XFixes).
set -euo pipefail

packages=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 wine32:i386
  xvfb xauth xdotool x11-utils imagemagick
  libgl1 libglx-mesa0 libgl1-mesa-dri
  libxrandr2 libxrender1 libxcursor1 libxi6 libxinerama1 libxxf86vm1 libxcomposite1 libxfixes3
  # the same for the 32-bit program's half of Wine
  libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386
  libxrandr2:i386 libxrender1:i386 libxcursor1:i386 libxi6:i386 libxinerama1:i386 libxxf86vm1:i386
  libxcomposite1:i386 libxfixes3:i386)

"$(dirname "$0")/install-missing.sh" setup-wine "${packages[@]}"
