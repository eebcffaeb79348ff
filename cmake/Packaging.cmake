# The Debian packages: `cpack -G DEB` in a build folder makes
# tessary-cli_VERSION_ARCH.deb, the command-line tool without Qt, and, where
# the wizard is built, tessary_VERSION_ARCH.deb, the wizard, which depends on
# the first. Each holds what `cmake --install` puts under /usr for its
# component, its copyright file, the Debian changelog and compressed manual
# pages, with the dependencies dpkg-shlibdeps finds for its program.
# scripts/package.sh builds them with Debian's hardening flags and checks
# them with lintian.
include(GNUInstallDirs)

set(packages cli)
set(package_cli tessary-cli)
set(page_cli tessary-cli.1)
if(TARGET tessary)
  list(APPEND packages wizard)
  set(package_wizard tessary)
  set(page_wizard tessary.1)
endif()

# The packages' version is the project's first three numbers and the Debian
# revision of the changelog's newest entry, whose upstream version must be
# those numbers: a new version needs a new entry.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
set(changelog ${CMAKE_SOURCE_DIR}/cmake/debian/changelog)
file(STRINGS ${changelog} newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^tessary \\(([^-)]+)-([^)]+)\\) ")
  message(FATAL_ERROR "${changelog}: no version in its first line: ${newest}")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL CPACK_PACKAGE_VERSION)
  message(FATAL_ERROR "${changelog} is of version ${CMAKE_MATCH_1}, the project of "
                      "${CPACK_PACKAGE_VERSION}: the new version needs its entry")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_2})

# The changelog and the manual pages compressed as Debian wants them, with
# neither name nor time inside, so that two builds give the same bytes.
find_program(GZIP gzip REQUIRED)
set(compressed_folder ${CMAKE_BINARY_DIR}/compressed)
set(compressed)
foreach(source ${changelog} ${CMAKE_SOURCE_DIR}/docs/man/tessary-cli.1
        ${CMAKE_SOURCE_DIR}/docs/man/tessary.1)
  get_filename_component(name ${source} NAME)
  if(name STREQUAL "changelog")
    set(name changelog.Debian)
  endif()
  add_custom_command(OUTPUT ${compressed_folder}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed_folder}
    COMMAND sh -c "\"$0\" -9 -n -c \"$1\" > \"$2\"" ${GZIP} ${source} ${compressed_folder}/${name}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND compressed ${compressed_folder}/${name}.gz)
endforeach()
add_custom_target(tessary_compressed_docs ALL DEPENDS ${compressed})

# With the tags of lintian that do not apply to each package, and why.
foreach(package ${packages})
  set(doc ${CMAKE_INSTALL_DATADIR}/doc/${package_${package}})
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/copyright ${compressed_folder}/changelog.Debian.gz
          DESTINATION ${doc} COMPONENT ${package})
  install(FILES ${CMAKE_SOURCE_DIR}/cmake/debian/${package_${package}}.lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${package_${package}}
          COMPONENT ${package})
  install(FILES ${compressed_folder}/${page_${package}}.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${package})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessary)
set(CPACK_PACKAGE_VENDOR Quenlor)
set(CPACK_PACKAGE_CONTACT "Quenlor <support@quenlor.example>")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${packages})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE tessary)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.quenlor.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The wizard depends on the command-line tool's package of the same version.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_WIZARD_DEPENDS cli)

set(what_it_does
    "Quenlor Tessary reads a damaged ZIP archive from end to end looking for
the records that start each entry, grades every entry it can delimit and
writes a new, well-formed archive with a rebuilt central directory. Entries
are copied as they are, not recompressed, so the repair is fast and works on
any file; only a deflated entry whose data descriptor was lost is inflated to
find its end, and every entry's content can be checked on request.")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME tessary-cli)
set(CPACK_DEBIAN_CLI_DESCRIPTION
    "repair damaged or incompletely downloaded ZIP archives (command line)
${what_it_does}
.
This package holds the command-line tool alone; the package tessary adds
the repair wizard for the desktop.")
set(CPACK_DEBIAN_WIZARD_PACKAGE_NAME tessary)
set(CPACK_DEBIAN_WIZARD_DESCRIPTION
    "repair damaged or incompletely downloaded ZIP archives (wizard)
${what_it_does}
.
This package holds the repair wizard, which walks through a repair in six
pages and is offered for ZIP archives and incomplete downloads.")
# The wizard under Wayland, and the fonts its texts are laid out for.
set(CPACK_DEBIAN_WIZARD_PACKAGE_RECOMMENDS "qt6-wayland, fonts-liberation2 | fonts-dejavu-core")
# Stripped, and without the compiler's notes, as Debian's own packages are.
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/debian/RemoveNotes.cmake)
# The install rules see the final prefix (/usr) and a staging DESTDIR, so that
# paths written into installed files name /usr, not the staging folder.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
