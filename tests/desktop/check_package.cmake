# Builds the Debian package with cpack, unpacks it into a scratch root with
# dpkg -x and checks what apt would install: the programs, help, desktop
# entry, icons, metainfo, manual pages and completions in their FHS places,
# dependencies found by dpkg-shlibdeps, an entry that starts /usr/bin/tessary,
# valid metainfo for this version, and a tessary-cli that runs from there.
# Usage: cmake -DBUILD=... -DSCRATCH=... -DGUI=ON|OFF -DVERSION=1.1 -P this
find_program(DPKG_DEB dpkg-deb REQUIRED)
file(REMOVE_RECURSE ${SCRATCH})
set(failures)
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD}/CPackConfig.cmake
                        -B ${SCRATCH}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB packages ${SCRATCH}/tessary_*.deb)
list(LENGTH packages count)
if(NOT result EQUAL 0 OR NOT count EQUAL 1)
  file(REMOVE_RECURSE ${SCRATCH})
  message(FATAL_ERROR "cpack -G DEB made ${count} tessary_*.deb:\n${output}")
endif()

set(root ${SCRATCH}/root)
execute_process(COMMAND ${DPKG_DEB} -x ${packages} ${root})
execute_process(COMMAND ${DPKG_DEB} -f ${packages} Depends OUTPUT_VARIABLE depends)

set(wanted usr/bin/tessary-cli usr/share/man/man1/tessary-cli.1
    usr/share/bash-completion/completions/tessary-cli usr/share/zsh/vendor-completions/_tessary-cli)
set(libraries libc6 libstdc\\+\\+6)
if(GUI)
  list(APPEND wanted usr/bin/tessary usr/share/man/man1/tessary.1
       usr/share/applications/tessary.desktop usr/share/metainfo/com.quenlor.tessary.metainfo.xml
       usr/share/icons/hicolor/48x48/apps/tessary.png usr/share/icons/hicolor/scalable/apps/tessary.svg
       usr/share/tessary/help/index.html)
  list(APPEND libraries libqt6widgets6)
endif()
foreach(path ${wanted})
  if(NOT EXISTS ${root}/${path})
    list(APPEND failures "the package lacks /${path}")
  endif()
endforeach()
# Nothing outside /usr, and nothing of the build (tests, helpers) in /usr/bin.
file(GLOB top RELATIVE ${root} ${root}/*)
if(NOT top STREQUAL "usr")
  list(APPEND failures "the package installs outside /usr: ${top}")
endif()
file(GLOB programs RELATIVE ${root}/usr/bin ${root}/usr/bin/*)
list(REMOVE_ITEM programs tessary tessary-cli)
if(programs)
  list(APPEND failures "programs that are not ours in /usr/bin: ${programs}")
endif()
foreach(library ${libraries})
  if(NOT depends MATCHES "(^|, )${library} \\(>= ")
    list(APPEND failures "Depends lacks ${library}: ${depends}")
  endif()
endforeach()

execute_process(COMMAND env HOME=${SCRATCH}/home XDG_CONFIG_HOME=${SCRATCH}/config
                        XDG_STATE_HOME=${SCRATCH}/state ${root}/usr/bin/tessary-cli --version
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  list(APPEND failures "the packaged tessary-cli --version failed: ${output}")
endif()

if(GUI)
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
  message(FATAL_ERROR "Debian package:\n  ${text}")
endif()
message(STATUS "Debian package: layout, dependencies, desktop entry and metainfo as expected")
