# Writes the README an artefact ships: a preface for that artefact (what it
# holds, how to start it there), then the user's guide. In the preface,
# @VERSION@, @ARCH@ and @PACKAGES@ are filled in; @PACKAGES@ is the package
# names of a Depends line read from DEPENDS_FILE (debian-depends.sh's), with
# their versions left out. NEWLINE=CRLF gives Windows line ends.
#   cmake -DPREFACE=FILE -DGUIDE=FILE -DOUTPUT=FILE [-DVERSION=V] [-DARCH=A]
#         [-DDEPENDS_FILE=FILE] [-DNEWLINE=CRLF] -P compose_readme.cmake
foreach(required PREFACE GUIDE OUTPUT)
  if(NOT DEFINED ${required})
    message(FATAL_ERROR "compose_readme: ${required} is not set")
  endif()
endforeach()

set(PACKAGES "")
if(DEPENDS_FILE)
  file(STRINGS "${DEPENDS_FILE}" depends LIMIT_COUNT 1)
  string(REGEX REPLACE " *\\([^)]*\\)" "" PACKAGES "${depends}")
  string(REPLACE "," "" PACKAGES "${PACKAGES}")
endif()

file(READ "${PREFACE}" preface)
file(READ "${GUIDE}" guide)
string(CONFIGURE "${preface}" preface @ONLY)
set(text "${preface}\n${guide}")
if(NEWLINE STREQUAL "CRLF")
  string(REPLACE "\n" "\r\n" text "${text}")
endif()
file(WRITE "${OUTPUT}" "${text}")
