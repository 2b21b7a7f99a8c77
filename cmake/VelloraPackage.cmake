# `make package`: a Debian package whose dependencies dpkg-shlibdeps reads off
# the programs, plus what they load only when a file is played or a folder
# opened, which dpkg-shlibdeps cannot see: GIO (2.58 brought the launch with
# standard streams of our choosing) and the MIME database it tells a WAV file
# by. xdg-utils' xdg-mime is the README's way to make Vellora the default.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellora)
set(CPACK_PACKAGE_VENDOR "The Vellora developers")
set(CPACK_PACKAGE_CONTACT "The Vellora developers <vellora@users.noreply.github.com>")
# formats: kept by format_docs
set(VELLORA_FORMATS "WAV, RIFX, RF64, BW64, Wave64, AIFF, AIFF-C, CAF, FLAC, WavPack, Ogg Vorbis, Sun AU, NIST SPHERE and Apple Lossless in MP4")
# /formats
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "play a recording slower or faster, like tape at another speed")
set(CPACK_PACKAGE_DESCRIPTION
    "Vellora copies a recording under a new name carrying a speed percentage and\nrewrites only the sample rate (and the fields that follow it) in the copy's\nheader, so that it plays slower and lower or faster and higher. It converts\n${VELLORA_FORMATS}.\nIt has a Qt window and a command-line program, vellora-cli.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://github.com/vellora/vellora")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libglib2.0-0 (>= 2.58), shared-mime-info")
# qt6-wayland: without it the window cannot open in a Wayland session.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
