# The Debian package: `cpack -G DEB` in the build folder gives
# oriole_<version>_<arch>.deb with the programs, the desktop entry, the icon,
# the udev rule and the README. Libraries the programs link are found by
# dpkg-shlibdeps; what they load or use at run time is named here.
include(GNUInstallDirs)

install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME oriole)
set(CPACK_PACKAGE_VENDOR "ORIOLE")
set(CPACK_PACKAGE_CONTACT "ORIOLE maintainers <oriole@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "AVR in-circuit programmer for the ORIOLE USB writer box")
set(CPACK_PACKAGE_DESCRIPTION
    "ORIOLE programs Atmel AVR microcontrollers in-circuit through a USB writer box \
(FTDI-based). It erases, writes, reads and verifies FLASH and EEPROM from Intel \
HEX or S-record files, edits fuse and lock bits and stores the RC oscillator's \
calibration byte, from a Japanese desktop application (oriole) or the command \
line (oriole-cli). oriole-sim simulates the writer box on a pseudo-terminal.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Added to what dpkg-shlibdeps finds in the programs (Qt, libftdi1, the C++
# run time): libusb, which libftdi1 opens the box through, libelf for ELF
# input, the Japanese font the windows are drawn with, and Qt's own
# Japanese texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libusb-1.0-0, libelf1, fonts-noto-cjk, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/cmake/deb/postinst ${PROJECT_SOURCE_DIR}/cmake/deb/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
