# The Debian package: the native quorvel-cli, the Windows exes beside it for
# Wine, a launcher for the window, the manual page and bash completion.
# scripts/package.sh builds both sides and runs cpack here.

# The Windows build's folder, whose quorvel.exe and quorvel-cli.exe go in the
# package; empty leaves them out (a package of the native side alone).
set(QUORVEL_WINDOWS_DIR "" CACHE PATH "Folder of the MinGW build's quorvel.exe and quorvel-cli.exe")

# The manual page, from the help of the program just built.
set(man_page "${CMAKE_BINARY_DIR}/quorvel-cli.1")
add_custom_command(
    OUTPUT "${man_page}.gz"
    COMMAND "${CMAKE_COMMAND}" -DCLI=$<TARGET_FILE:quorvel-cli> -DVERSION=${PROJECT_VERSION} -DOUTPUT=${man_page}
            -P "${CMAKE_SOURCE_DIR}/cmake/man_page.cmake"
    COMMAND gzip -9nf "${man_page}"
    DEPENDS quorvel-cli "${CMAKE_SOURCE_DIR}/cmake/man_page.cmake"
    COMMENT "Writing the manual page quorvel-cli(1)")
add_custom_target(quorvel_man ALL DEPENDS "${man_page}.gz")

include(GNUInstallDirs)
install(TARGETS quorvel-cli RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(PROGRAMS "${CMAKE_SOURCE_DIR}/packaging/quorvel" DESTINATION "${CMAKE_INSTALL_BINDIR}")
install(FILES "${man_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${CMAKE_SOURCE_DIR}/packaging/quorvel-cli.bash-completion"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" RENAME quorvel-cli)
if(QUORVEL_WINDOWS_DIR)
    install(PROGRAMS "${QUORVEL_WINDOWS_DIR}/quorvel.exe" "${QUORVEL_WINDOWS_DIR}/quorvel-cli.exe"
            DESTINATION "${CMAKE_INSTALL_LIBDIR}/quorvel")
endif()
# cpack installs what the build already made: it need not build the tests and
# benchmarks first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Marrowby <quorvel@marrowby.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "shows what installing software changed in a Wine prefix")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quorvel snapshots a registry subtree and a folder tree before and after an\n"
    "installation and lists the new, deleted and changed registry entries and files.\n"
    "quorvel-cli reads Wine and Proton prefixes natively; quorvel opens the Windows\n"
    "window under Wine.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wine)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/package")
include(CPack)
