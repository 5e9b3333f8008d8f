# cpack: a Debian package of the installed tree (cpack -G DEB in the build folder). It depends on the
# Qt, SQLite and libpq libraries of Debian 12; its postinst makes the group quorvel-sim and
# /var/lib/quorvel, the folder of the SIM records that only that group may change (adduser makes the
# group).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR "${QUORVEL_COMPANY}")
set(CPACK_PACKAGE_CONTACT "${QUORVEL_COMPANY} <${QUORVEL_EMAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# Lines of the long description stay below 80 columns, as dpkg and the package tools show them.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvel reads, writes and deletes the phone book, speed dial list and
broadcast groups of a DECT handset in its docking station, reads and writes
its profile, tests its ringer and moves its SIM into a file and back. With a
command-line tool, quorvel-cli, and a virtual handset, quorvel-handset.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# No Debian revision: the package is made by the project from its own tree (a native package), so its
# version is the program's and its history is /usr/share/doc/quorvel/changelog.gz (dist/debian/changelog).
# The programs go into the package without their symbols (cmake --install --strip).
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
# The libraries the programs are linked against, with the least versions their symbols need (libc6 for
# GLIBC_2.34, libstdc++6 for GLIBCXX_3.4.29, Qt, SQLite, libpq), come from dpkg-shlibdeps (dpkg-dev),
# as ${shlibs:Depends} does in a package built by debhelper; beside them what no program links: the Qt
# platform plugins the window loads at run time and adduser for the postinst.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, adduser")
# xdg-utils tells which program opens the user guide; bash-completion loads the completion of quorvel-cli.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/postinst ${PROJECT_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# What a database administrator runs on the PostgreSQL server that several PCs share: the tables of the
# SIM records and the role quorvel_sim.
install(FILES ${PROJECT_SOURCE_DIR}/dist/postgresql/quorvel-records.sql DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvel)
include(CPack)
