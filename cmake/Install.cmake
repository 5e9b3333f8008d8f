# Installing: the program folder (the three programs and the files they read beside them) goes to
# libexec/quorvel/, as the programs find their files next to their own executable; bin/ holds links to
# the programs. The desktop's menu entry, icon and AppStream metainfo, the man pages and the bash
# completion go where the desktop and the tools look for them. cpack makes a Debian package of it.
include(GNUInstallDirs)

set(QUORVEL_INSTALL_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quorvel)
set(QUORVEL_PROGRAMS quorvel quorvel-cli quorvel-handset)

install(TARGETS ${QUORVEL_PROGRAMS} RUNTIME DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR})
install(FILES ${QUORVEL_PROGRAM_DIR}/settings.cfg ${QUORVEL_PROGRAM_DIR}/QuorvelUserGuide.pdf
              ${QUORVEL_PROGRAM_DIR}/AboutLogo.bmp
        DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR})
install(FILES ${QUORVEL_PROGRAM_DIR}/sim_list/VSIMLIST.xml DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR}/sim_list)
# The mark of an installed program folder (platform/Paths.h): the ini and the log go to the per-user
# folder, even for root, so that nothing is written below the prefix.
install(FILES ${PROJECT_SOURCE_DIR}/dist/installed DESTINATION ${QUORVEL_INSTALL_PROGRAM_DIR})

# bin/ holds relative links to the programs, so that the tree works wherever it is put (a package's
# staging folder included). They are made in the build tree and installed as files are, so that the
# install manifest lists them and an uninstall by it takes them too.
file(RELATIVE_PATH QUORVEL_BIN_TO_PROGRAMS ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quorvel)
set(QUORVEL_BIN_LINKS)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/dist/bin)
foreach(program ${QUORVEL_PROGRAMS})
    set(link ${CMAKE_BINARY_DIR}/dist/bin/${program})
    file(REMOVE ${link})
    file(CREATE_LINK ${QUORVEL_BIN_TO_PROGRAMS}/${program} ${link} SYMBOLIC)
    list(APPEND QUORVEL_BIN_LINKS ${link})
endforeach()
install(FILES ${QUORVEL_BIN_LINKS} DESTINATION ${CMAKE_INSTALL_BINDIR})

# Uninstalling: every file the manifest of the last install lists, then the program's own folders that
# this leaves empty (cmake --build BUILD --target uninstall).
add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${CMAKE_BINARY_DIR}/install_manifest.txt
            -P ${PROJECT_SOURCE_DIR}/cmake/Uninstall.cmake
    COMMENT "Removing what install_manifest.txt lists" VERBATIM)

set(QUORVEL_RELEASE_DATE 2026-12-09)
configure_file(${PROJECT_SOURCE_DIR}/dist/desktop/quorvel.desktop.in ${CMAKE_BINARY_DIR}/dist/${QUORVEL_APP_ID}.desktop
               @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/dist/desktop/quorvel.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/dist/${QUORVEL_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/dist/${QUORVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_BINARY_DIR}/dist/${QUORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/dist/desktop/quorvel.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps RENAME ${QUORVEL_APP_ID}.svg)
# The man pages and the package's change log go in compressed, as Debian has them: gzip -9n, without a
# name or time in the header, so that two builds give the same bytes.
set(QUORVEL_GZIPPED)
function(quorvel_gzip source output)
    add_custom_command(OUTPUT ${output} COMMAND gzip -9n -c ${source} > ${output} DEPENDS ${source}
                       COMMENT "Compressing ${output}")
    set(QUORVEL_GZIPPED ${QUORVEL_GZIPPED} ${output} PARENT_SCOPE)
endfunction()
foreach(page quorvel quorvel-cli quorvel-handset)
    quorvel_gzip(${PROJECT_SOURCE_DIR}/dist/man/${page}.1 ${CMAKE_BINARY_DIR}/dist/man/${page}.1.gz)
endforeach()
quorvel_gzip(${PROJECT_SOURCE_DIR}/dist/debian/changelog ${CMAKE_BINARY_DIR}/dist/changelog.gz)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/dist/man)
add_custom_target(quorvel-gzipped ALL DEPENDS ${QUORVEL_GZIPPED})
install(FILES ${CMAKE_BINARY_DIR}/dist/man/quorvel.1.gz ${CMAKE_BINARY_DIR}/dist/man/quorvel-cli.1.gz
              ${CMAKE_BINARY_DIR}/dist/man/quorvel-handset.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/dist/completion/quorvel-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# Where Debian's zsh and fish look for the completions that packages bring.
install(FILES ${PROJECT_SOURCE_DIR}/dist/completion/_quorvel-cli
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${PROJECT_SOURCE_DIR}/dist/completion/quorvel-cli.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
# The udev rule that lets the group dialout use USB serial adapters and names them under /dev/quorvel/.
# lib/, not the architecture's library folder: udev reads <prefix>/lib/udev/rules.d.
install(FILES ${PROJECT_SOURCE_DIR}/dist/udev/60-quorvel.rules DESTINATION lib/udev/rules.d)
# Debian names the documentation folder after the package, in lower case, and asks every package for a
# machine-readable copyright file and a change log in it.
configure_file(${PROJECT_SOURCE_DIR}/dist/debian/copyright ${CMAKE_BINARY_DIR}/dist/copyright @ONLY)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/dist/copyright
              ${CMAKE_BINARY_DIR}/dist/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel)
