# Installation (make install, make uninstall) and the Debian package (make package, CPack).
# Everything `make install` puts in place belongs to the component "quelbro"; the package adds
# the component "debian" (copyright and changelog under share/doc/quelbro). The package is native
# (its version has no Debian revision), so its changelog is changelog.gz.
include(GNUInstallDirs)

# `make install` and `make package` build the programs first (target `programs`); installing
# does not build the tests and benchmarks as well.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# The date of this version's release, on the manual pages and in the package's changelog;
# changed together with the version in project().
set(QUELBRO_MAN_DATE "2026-12-08")
set(QUELBRO_CHANGELOG_DATE "Tue, 08 Dec 2026 10:30:00 +0000")

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Manual pages and the changelog, filled in with the version and compressed as Debian wants
# them (gzip -9n: no name, no time stamp, so every build gives the same bytes).
set(quelbro_gz_files)
function(quelbro_gzip_configured template name)
  configure_file(${template} ${CMAKE_BINARY_DIR}/share/${name} @ONLY)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/share/${name}.gz
    COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/share/${name} > ${CMAKE_BINARY_DIR}/share/${name}.gz
    DEPENDS ${CMAKE_BINARY_DIR}/share/${name} ${template}
    COMMENT "Compressing ${name}"
    VERBATIM)
  set(quelbro_gz_files ${quelbro_gz_files} ${CMAKE_BINARY_DIR}/share/${name}.gz PARENT_SCOPE)
endfunction()

quelbro_gzip_configured(${CMAKE_SOURCE_DIR}/docs/man/quelbro-con.1.in quelbro-con.1)
quelbro_gzip_configured(${CMAKE_SOURCE_DIR}/packaging/changelog.in changelog)
if(TARGET quelbro-win)
  quelbro_gzip_configured(${CMAKE_SOURCE_DIR}/docs/man/quelbro-win.1.in quelbro-win.1)
endif()
add_custom_target(quelbro_share ALL DEPENDS ${quelbro_gz_files})

# The two programs and what they install, without tests or benchmarks: `make demo`, `make run`
# and `make install` build this target only.
add_custom_target(programs)
add_dependencies(programs quelbro-con quelbro_share)

install(TARGETS quelbro-con RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quelbro)
install(FILES ${CMAKE_BINARY_DIR}/share/quelbro-con.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT quelbro)
if(TARGET quelbro-win)
  add_dependencies(programs quelbro-win)
  install(TARGETS quelbro-win RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT quelbro)
  install(FILES ${CMAKE_BINARY_DIR}/share/quelbro-win.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT quelbro)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quelbro-win.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT quelbro)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/quelbro-win.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps COMPONENT quelbro)
endif()
install(FILES ${CMAKE_SOURCE_DIR}/examples/study.dat
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples COMPONENT quelbro)

install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/share/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quelbro COMPONENT debian)

# The Debian package: quelbro_<version>_<arch>.deb in build/package. The dependencies are the
# packages of the shared libraries the programs link against, found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelbro)
set(CPACK_PACKAGE_VENDOR "QUELBRO project")
set(CPACK_PACKAGE_CONTACT "QUELBRO project <quelbro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "analysis of multireader-multicase ROC studies")
set(CPACK_PACKAGE_DESCRIPTION
    "QUELBRO analyses receiver operating characteristic (ROC) studies in which\n\
several readers read every case under one to five treatments. For each reader\n\
and treatment it fits a binormal ROC curve by maximum likelihood, makes\n\
jackknife pseudovalues of the area under the curve and runs a treatment x\n\
reader x case analysis of variance on them.\n\
\n\
quelbro-con runs the question-and-answer dialogue on a terminal or analyses\n\
a case data file in batch; quelbro-win carries the same dialogue in a window.")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
