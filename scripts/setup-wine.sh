#!/usr/bin/env bash
# Installs what the Windows build and its Wine checks need on Debian 12 (run
# as root), without recommended packages, skipping apt-get when every package
# is already there: the MinGW-w64 cross compilers, 64-bit Wine, a virtual X
# server with keys, window listing and screenshots, and the parts of wine64's
# recommends that drawing with Mesa's OpenGL on X needs (OpenGL and its
# software driver, the X extensions Wine's display driver loads at run time:
# RandR for the full-screen mode, Render, cursors, input, Xinerama,
# XF86VidMode, Composite, XFixes). Then the same for 32-bit Wine, adding
# Debian's i386 architecture.
#
# The 32-bit half is the one a package mirror can fail: its libraries must be
# the very versions of the 64-bit ones already installed, and those often
# come from bookworm-security, so one stale i386 index there leaves nothing
# installable. Without it the x86 build is still built but cannot be run;
# this says so and ends with 0, unless DEMO_REQUIRE_WINE32=1 asks for 32-bit
# Wine to be there. The caller asks dpkg whether wine32:i386 is installed.
set -euo pipefail

here="$(dirname "$0")"

"$here/install-missing.sh" setup-wine g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine wine64 \
  xvfb xauth xdotool x11-utils imagemagick \
  libgl1 libglx-mesa0 libgl1-mesa-dri \
  libxrandr2 libxrender1 libxcursor1 libxi6 libxinerama1 libxxf86vm1 libxcomposite1 libxfixes3

if ! "$here/install-missing.sh" setup-wine wine32:i386 \
  libgl1:i386 libglx-mesa0:i386 libgl1-mesa-dri:i386 \
  libxrandr2:i386 libxrender1:i386 libxcursor1:i386 libxi6:i386 libxinerama1:i386 libxxf86vm1:i386 \
  libxcomposite1:i386 libxfixes3:i386; then
  if [ "${DEMO_REQUIRE_WINE32:-0}" = 1 ]; then
    echo "setup-wine: 32-bit Wine could not be installed" >&2
    exit 1
  fi
  # Leave the machine's architectures as they were if nothing of i386 came in,
  # so that later apt-get updates do not keep failing on the same index.
  dpkg --remove-architecture i386 2>/dev/null || true
  echo "setup-wine: warning: 32-bit Wine could not be installed from this machine's package sources; the x86 Windows build will be built but not run" >&2
fi
