# `make package`: a Debian package of the release build, made by CPack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velquin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velquin")
set(CPACK_PACKAGE_CONTACT "Velquin <support@velquin.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "sort files and folders into sub-folders")
# The synopsis is the summary above; CPack indents these lines of the long description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Velquin sorts a list of files into sub-folders of an output folder, named
after a keyword in the name, the name or a part of it, the extension, the
size, the date, or the width or height of an image. A second window sorts
whole folders by keyword, by name or by the number of files inside. Files
are copied or moved, and a name already taken is skipped, replaced, asked
about, numbered or replaced only by a newer file. The interface is in
Simplified Chinese.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.velquin.com")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries the program links come from dpkg-shlibdeps; what Qt loads at run time does not
# show there: the X11 platform plugin and the image format plugins (TIFF for the image page)
# are needed, a native Wayland session, Qt's own Chinese texts, the desktop theme's look and a
# Chinese font are recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-wayland, qt6-translations-l10n, qt6-gtk-platformtheme, fonts-noto-cjk | fonts-wqy-microhei")
include(CPack)
