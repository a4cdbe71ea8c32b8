# Installation and packages: a .deb on Linux (`cpack` in the build folder),
# a ZIP of the static programs with the README and the sample run on Windows.
# Both carry what the README links to: the pictures and DEVELOPMENT.md in docs/,
# and the cluster scripts in examples/cluster/.
# Installed programs are stripped by `cmake --install --strip` and in every
# package (CPACK_STRIP_FILES).
include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME kestrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KESTREL developers")
set(CPACK_PACKAGE_CONTACT "KESTREL developers <kestrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts AERMOD POSTFILEs into CONC.DAT datasets")
set(CPACK_STRIP_FILES ON)
# The programs and their files only: the Python module (component python),
# where the same tree builds it, is installed by pip or cmake --install.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};Unspecified;/")
file(GLOB kestrel_readme_docs ${CMAKE_CURRENT_SOURCE_DIR}/docs/*.png)
list(APPEND kestrel_readme_docs ${CMAKE_CURRENT_SOURCE_DIR}/docs/DEVELOPMENT.md)

if(WIN32)
  install(TARGETS kestrel kestrel-inspect kestrel-join RUNTIME DESTINATION .)
  install(FILES README.md DESTINATION .)
  install(FILES ${kestrel_readme_docs} DESTINATION docs)
  # The sample run as it is in the repository: a folder to run kestrel in.
  install(DIRECTORY examples/sample DESTINATION . PATTERN "*.gdx" EXCLUDE PATTERN "*.kst" EXCLUDE
                                                  PATTERN "*.part" EXCLUDE)
  install(DIRECTORY examples/cluster DESTINATION examples USE_SOURCE_PERMISSIONS)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_PACKAGE_FILE_NAME kestrel-${PROJECT_VERSION}-win64)
else()
  install(TARGETS kestrel kestrel-inspect kestrel-join RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Man pages and the changelog are installed compressed, as packages
  # carry them; -n keeps the archives the same from build to build.
  # The package is native (no separate upstream): its changelog is changelog.gz.
  configure_file(cmake/debian/changelog.in changelog @ONLY)
  set(compressed)
  foreach(doc ${CMAKE_CURRENT_SOURCE_DIR}/man/kestrel.1 ${CMAKE_CURRENT_SOURCE_DIR}/man/kestrel-inspect.1
              ${CMAKE_CURRENT_SOURCE_DIR}/man/kestrel-join.1 ${CMAKE_CURRENT_BINARY_DIR}/changelog)
    get_filename_component(name ${doc} NAME)
    set(out ${CMAKE_CURRENT_BINARY_DIR}/compressed/${name})
    add_custom_command(OUTPUT ${out}.gz
                       COMMAND ${CMAKE_COMMAND} -E copy ${doc} ${out}
                       COMMAND gzip -9nf ${out}
                       DEPENDS ${doc} VERBATIM)
    list(APPEND compressed ${out}.gz)
  endforeach()
  add_custom_target(kestrel_compressed_docs ALL DEPENDS ${compressed})
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/compressed/kestrel.1.gz
                ${CMAKE_CURRENT_BINARY_DIR}/compressed/kestrel-inspect.1.gz
                ${CMAKE_CURRENT_BINARY_DIR}/compressed/kestrel-join.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES README.md cmake/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/compressed/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${kestrel_readme_docs} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)
  install(DIRECTORY examples/cluster DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples USE_SOURCE_PERMISSIONS)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The library dependencies as dpkg-shlibdeps finds them in the programs.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # CPack puts the summary before it as the synopsis line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kestrel reads the control file of an AERMOD run and turns every 1-hour
POSTFILE, unformatted (UNFORM) or formatted (PLOT), into a CONC.DAT dataset
(version 2.1) with the concentration at every receptor in g/m3.
kestrel-inspect shows what a dataset or POSTFILE holds, as text, CSV, JSON,
an SVG map with contours and sources, or an SVG time series. kestrel-join
joins the datasets of a run split by receptors, sources or time into the
dataset of the whole run.")
endif()
include(CPack)
