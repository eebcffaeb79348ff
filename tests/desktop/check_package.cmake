# Builds the Debian packages with cpack, unpacks each into a scratch root with
# dpkg -x and checks what apt would install: tessary-cli with the
# command-line tool, its manual page and completions, and no Qt among its
# dependencies; where the wizard is built, tessary with the wizard, help,
# desktop entry, icons, metainfo and manual page, depending on tessary-cli of
# the same version. Each has its copyright file and Debian changelog, manual
# pages compressed without a name or time inside, nothing outside /usr and no
# file of the other; an entry that starts /usr/bin/tessary, valid metainfo
# for this version, and a tessary-cli that runs from there.
# Usage: cmake -DBUILD=... -DSCRATCH=... -DGUI=ON|OFF -DVERSION=1.1
#   -DPROJECT_VERSION=1.1.0 -DSOURCE=... -P this
find_program(DPKG_DEB dpkg-deb REQUIRED)
find_program(GZIP gzip REQUIRED)
file(REMOVE_RECURSE ${SCRATCH})
set(failures)
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD}/CPackConfig.cmake
                        -B ${SCRATCH}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(names tessary-cli)
if(GUI)
  list(APPEND names tessary)
endif()
file(GLOB packages RELATIVE ${SCRATCH} ${SCRATCH}/*.deb)
foreach(name ${names})
  file(GLOB deb_${name} ${SCRATCH}/${name}_*.deb)
endforeach()
list(LENGTH packages count)
list(LENGTH names wanted)
if(NOT result EQUAL 0 OR NOT count EQUAL wanted OR NOT deb_tessary-cli OR (GUI AND NOT deb_tessary))
  file(REMOVE_RECURSE ${SCRATCH})
  message(FATAL_ERROR "cpack -G DEB made ${packages}, not one package each of ${names}:\n${output}")
endif()

# The files of each package, and those that no package may hold.
set(files_tessary-cli usr/bin/tessary-cli usr/share/man/man1/tessary-cli.1.gz
    usr/share/bash-completion/completions/tessary-cli usr/share/zsh/vendor-completions/_tessary-cli)
set(files_tessary usr/bin/tessary usr/share/man/man1/tessary.1.gz
    usr/share/applications/tessary.desktop usr/share/metainfo/com.quenlor.tessary.metainfo.xml
    usr/share/icons/hicolor/48x48/apps/tessary.png usr/share/icons/hicolor/scalable/apps/tessary.svg
    usr/share/tessary/help/index.html)
set(libraries_tessary-cli libc6 libstdc\\+\\+6)
set(libraries_tessary libc6 libqt6widgets6 tessary-cli)
set(page_tessary-cli tessary-cli.1)
set(page_tessary tessary.1)

foreach(name ${names})
  set(deb ${deb_${name}})
  set(root ${SCRATCH}/root-${name})
  execute_process(COMMAND ${DPKG_DEB} -x ${deb} ${root})
  execute_process(COMMAND ${DPKG_DEB} -f ${deb} Depends OUTPUT_VARIABLE depends
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${DPKG_DEB} -f ${deb} Version OUTPUT_VARIABLE version
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT version MATCHES "^${PROJECT_VERSION}-[0-9A-Za-z.+~]+$")
    list(APPEND failures "${name}: version ${version} is not ${PROJECT_VERSION} with a Debian revision")
  endif()

  set(doc usr/share/doc/${name})
  foreach(path ${files_${name}} ${doc}/copyright ${doc}/changelog.Debian.gz)
    if(NOT EXISTS ${root}/${path})
      list(APPEND failures "${name} lacks /${path}")
    endif()
  endforeach()
  foreach(other ${names})
    if(NOT other STREQUAL name)
      foreach(path ${files_${other}})
        if(EXISTS ${root}/${path})
          list(APPEND failures "${name} holds /${path}, a file of ${other}")
        endif()
      endforeach()
    endif()
  endforeach()
  # Nothing outside /usr, and nothing of the build (tests, helpers) in /usr/bin.
  file(GLOB top RELATIVE ${root} ${root}/*)
  if(NOT top STREQUAL "usr")
    list(APPEND failures "${name} installs outside /usr: ${top}")
  endif()
  file(GLOB programs RELATIVE ${root}/usr/bin ${root}/usr/bin/*)
  list(REMOVE_ITEM programs tessary tessary-cli)
  if(programs)
    list(APPEND failures "programs that are not ours in /usr/bin of ${name}: ${programs}")
  endif()

  foreach(library ${libraries_${name}})
    if(NOT depends MATCHES "(^|, )${library} \\((>=|=) ")
      list(APPEND failures "${name}: Depends lacks ${library}: ${depends}")
    endif()
  endforeach()
  if(name STREQUAL "tessary-cli" AND depends MATCHES "qt|libx|libgl|libegl|wayland|tessary")
    list(APPEND failures "tessary-cli depends on the wizard's libraries: ${depends}")
  endif()
  if(name STREQUAL "tessary" AND NOT depends MATCHES "(^|, )tessary-cli \\(= ${version}\\)")
    list(APPEND failures "tessary does not depend on tessary-cli ${version}: ${depends}")
  endif()

  # Compressed as Debian wants: the source bytes, no name and no time inside.
  foreach(gz ${doc}/changelog.Debian.gz usr/share/man/man1/${page_${name}}.gz)
    if(EXISTS ${root}/${gz})
      file(READ ${root}/${gz} header LIMIT 8 HEX)
      if(NOT header STREQUAL "1f8b080000000000")
        list(APPEND failures "/${gz} holds a name or a time: ${header}")
      endif()
    endif()
  endforeach()
  set(page ${root}/usr/share/man/man1/${page_${name}}.gz)
  if(EXISTS ${page})
    execute_process(COMMAND ${GZIP} -dc ${page} OUTPUT_VARIABLE text)
    file(READ ${SOURCE}/docs/man/${page_${name}} source_text)
    if(NOT text STREQUAL source_text)
      list(APPEND failures "/usr/share/man/man1/${page_${name}}.gz is not docs/man/${page_${name}}")
    endif()
  endif()
  execute_process(COMMAND ${GZIP} -dc ${root}/${doc}/changelog.Debian.gz OUTPUT_VARIABLE changes)
  if(NOT changes MATCHES "^tessary \\(${version}\\) ")
    list(APPEND failures "${name}: the changelog's newest entry is not of ${version}")
  endif()
endforeach()

set(root ${SCRATCH}/root-tessary-cli)
execute_process(COMMAND env HOME=${SCRATCH}/home XDG_CONFIG_HOME=${SCRATCH}/config
                        XDG_STATE_HOME=${SCRATCH}/state ${root}/usr/bin/tessary-cli --version
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  list(APPEND failures "the packaged tessary-cli --version failed: ${output}")
endif()

if(GUI)
  set(root ${SCRATCH}/root-tessary)
  file(STRINGS ${root}/usr/share/applications/tessary.desktop exec REGEX "^Exec=")
  if(NOT exec STREQUAL "Exec=/usr/bin/tessary %f")
    list(APPEND failures "the packaged desktop entry runs '${exec}', not /usr/bin/tessary")
  endif()
  set(metainfo ${root}/usr/share/metainfo/com.quenlor.tessary.metainfo.xml)
  file(READ ${metainfo} text)
  if(NOT text MATCHES "<release version=\"${VERSION}\"")
    list(APPEND failures "the metainfo's newest release is not ${VERSION}")
  endif()
  find_program(APPSTREAMCLI appstreamcli)
  if(APPSTREAMCLI)
    execute_process(COMMAND ${APPSTREAMCLI} validate --no-net --pedantic ${metainfo}
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      list(APPEND failures "appstreamcli validate: ${output}")
    endif()
  else()
    message(STATUS "appstreamcli is not installed (Debian: appstream): the metainfo is not validated")
  endif()
endif()

file(REMOVE_RECURSE ${SCRATCH})
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Debian packages:\n  ${text}")
endif()
message(STATUS "Debian packages ${names}: layout, dependencies, documents, desktop entry and metainfo as expected")
