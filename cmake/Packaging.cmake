# cpack -G DEB: a Debian package of the installed program. Its dependencies are worked out
# from the libraries the programs link (dpkg-shlibdeps, package dpkg-dev), plus what it runs
# or needs at run time: the multiplexer that lets Linux see an iPhone, the phone library
# (loaded when the program starts, so no linker sees it), the emoji font
# the pages use and Qt's SVG plugins (the icons are drawn from SVG by a plugin Qt loads). On a
# Wayland desktop Qt draws through its Wayland plugin.
set(CPACK_PACKAGE_NAME parlewick)
set(CPACK_PACKAGE_VENDOR Talvora)
# The maintainer's address is the vendor's, as the program's error boxes give it; a build
# without a vendor names no address.
string(REGEX REPLACE ":.*" "" vendor_domain "${PARLEWICK_VENDOR_HOST}")
string(REGEX REPLACE "^www\\." "" vendor_domain "${vendor_domain}")
if(vendor_domain MATCHES "[A-Za-z]")
    set(CPACK_PACKAGE_CONTACT "Parlewick <support@${vendor_domain}>")
else()
    set(CPACK_PACKAGE_CONTACT "Parlewick")
endif()
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Kik Messenger chat history from iPhones and iTunes backups")
set(CPACK_PACKAGE_DESCRIPTION
    "Parlewick takes the Kik chat history off an iPhone, over USB or from an iTunes backup,\n\
keeps it in local databases, shows, exports and prints it, and moves messages back into Kik.\n\
parlewick-cli does the same without a window.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries in lib/ are the package's own: dpkg-shlibdeps finds them there.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "usbmuxd, libimobiledevice6, fonts-noto-color-emoji, libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
set(CPACK_GENERATOR DEB)
include(CPack)
