#!/usr/bin/env bash
# Installs what the build needs on Debian 12 (run as root), skipping apt-get
# when every package is already there.
set -euo pipefail

packages=(cmake g++ make libgtest-dev libgmock-dev libbenchmark-dev libpng-dev python3 python3-mido
  # the player and the OpenGL device: SDL2, EGL and OpenGL with Mesa's
  # drivers (software rendering where there is no GPU), the GLSL validator
  libsdl2-dev libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libglx-mesa0 glslang-tools
  # the player's line over the picture: SDL_ttf, fontconfig and a font
  libsdl2-ttf-dev libfontconfig-dev fonts-dejavu-core
  # the player's tests in a real window: a virtual X server, keys, screenshots,
  # and a window manager (full screen is the window manager's to give)
  xvfb xauth xdotool x11-utils imagemagick openbox
  # the fuzz targets: clang with its libFuzzer and sanitizer run-times
  clang libclang-rt-14-dev
  # video capture: FFmpeg's libraries, and its programs to check what was written
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  # demokit's command line and JSON output
  libcli11-dev nlohmann-json3-dev
  # the install rules and packages: man pages from --help, the Debian package's
  # dependencies computed from the binaries, the icon's sizes from its SVG,
  # and the checks of what people install (lintian, the desktop entry, the
  # web archive)
  help2man dpkg-dev librsvg2-bin lintian desktop-file-utils unzip)

"$(dirname "$0")/install-missing.sh" setup "${packages[@]}"
