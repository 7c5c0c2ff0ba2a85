# The Debian package, made by CPack (scripts/package.sh): the files are what
# `cmake --install` puts under /usr; dpkg-shlibdeps reads the binary for the
# dependencies.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vormi)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # vormi_<version>_<arch>.deb
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(VORMI_MAINTAINER "vormi maintainers <maintainers@vormi.invalid>" CACHE STRING
    "The package's Maintainer field")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VORMI_MAINTAINER})
# Directories CPack makes itself (/usr/share/doc/vormi ...) get Debian's 0755,
# whatever the umask of the one who builds.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "steer a growing worm around a walled board in the terminal")
# The long description; CPack puts the summary above it and indents it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "vormi is a full-screen action game for text terminals. The vormi crawls
across a walled board; steer it to the food, and each piece makes it one
segment longer and is worth the current speed in points. It speeds up as
the score rises; the game is lost when its head meets a wall or its own
body. The five best scores are kept in highscores.txt in the directory the
game is started from.

It needs a terminal of at least 80 columns by 24 rows, and draws its block
glyphs in UTF-8 (ASCII look-alikes elsewhere).")
include(CPack)
