# Installs the build into a fresh prefix with `cmake --install` and checks
# what a desktop needs there: both programs, the help where the installed
# wizard looks for it, the desktop entry, the icons at their sizes, the
# software centre's metainfo, the manual pages and the shell completions.
# Usage: cmake -DBUILD=... -DPREFIX=... -DGUI=ON|OFF -DBINDIR=...
#   -DDATADIR=... -DMANDIR=... -DHELPDIR=... -DHELP_FROM_BINDIR=... -DSOURCE=...
#   -DXDG_SCRATCH=... -P this
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(failures)
macro(expect_file path)
  if(NOT EXISTS ${PREFIX}/${path} OR IS_DIRECTORY ${PREFIX}/${path})
    list(APPEND failures "missing: ${path}")
  endif()
endmacro()

# The width and height recorded in a PNG file's header.
function(png_size file out)
  file(READ ${file} header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING ${header} 0 8 w)
  string(SUBSTRING ${header} 8 8 h)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  set(${out} "${w}x${h}" PARENT_SCOPE)
endfunction()

# The installed desktop entry: the source entry but for Exec, which names the
# installed wizard by its full path (the prefix holds a space, so it must be
# quoted to stay one argument); valid; and, once the menu's cache is made,
# the default handler of every type it lists.
function(check_installed_entry entry)
  file(READ ${SOURCE}/wizard/desktop/tessary.desktop wanted)
  file(READ "${entry}" installed)
  string(REGEX REPLACE "\nExec=[^\n]*" "" wanted_rest "${wanted}")
  string(REGEX REPLACE "\nExec=[^\n]*" "" installed_rest "${installed}")
  if(NOT installed_rest STREQUAL wanted_rest)
    set(failures ${failures} "the installed desktop entry differs from the source beyond Exec" PARENT_SCOPE)
  endif()
  if(NOT installed MATCHES "\nExec=\"${PREFIX}/${BINDIR}/tessary\" %f\n")
    string(REGEX MATCH "\nExec=[^\n]*" exec "${installed}")
    set(failures ${failures} "the installed entry does not start ${PREFIX}/${BINDIR}/tessary:${exec}" PARENT_SCOPE)
  endif()
  find_program(VALIDATE desktop-file-validate)
  find_program(UPDATE_DATABASE update-desktop-database)
  find_program(XDG_MIME xdg-mime)
  if(NOT VALIDATE OR NOT UPDATE_DATABASE OR NOT XDG_MIME)
    message(STATUS "desktop-file-utils or xdg-utils not installed: the installed entry is not validated")
    return()
  endif()
  execute_process(COMMAND ${VALIDATE} "${entry}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0 OR out)
    set(failures ${failures} "desktop-file-validate on the installed entry: ${out}" PARENT_SCOPE)
  endif()
  # xdg-mime cannot take a data folder whose name holds a space: the entry is
  # looked up from a copy in a folder without one, in a bare environment (no
  # desktop session, no other applications).
  file(REMOVE_RECURSE ${XDG_SCRATCH})
  file(COPY "${entry}" DESTINATION ${XDG_SCRATCH}/data/applications)
  execute_process(COMMAND ${UPDATE_DATABASE} ${XDG_SCRATCH}/data/applications)
  set(home ${XDG_SCRATCH}/home)
  file(MAKE_DIRECTORY ${home})
  foreach(type application/zip application/x-zip-compressed application/x-partial-download)
    execute_process(COMMAND env -i PATH=/usr/bin:/bin HOME=${home} XDG_CONFIG_HOME=${home}
                            XDG_CONFIG_DIRS=/nonexistent XDG_DATA_HOME=${XDG_SCRATCH}/data
                            XDG_DATA_DIRS=/nonexistent ${XDG_MIME} query default ${type}
                    OUTPUT_VARIABLE handler OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT handler STREQUAL "tessary.desktop")
      set(failures ${failures} "xdg-mime query default ${type}: '${handler}'" PARENT_SCOPE)
    endif()
  endforeach()
  file(REMOVE_RECURSE ${XDG_SCRATCH})
endfunction()

set(programs tessary-cli)
expect_file(${BINDIR}/tessary-cli)
expect_file(${MANDIR}/man1/tessary-cli.1.gz)
expect_file(${DATADIR}/doc/tessary-cli/copyright)
expect_file(${DATADIR}/bash-completion/completions/tessary-cli)
expect_file(${DATADIR}/zsh/vendor-completions/_tessary-cli)

# No test or build helper program among the installed ones.
set(ours tessary-cli)
if(GUI)
  list(APPEND ours tessary)
endif()
file(GLOB installed_programs RELATIVE ${PREFIX}/${BINDIR} ${PREFIX}/${BINDIR}/*)
foreach(program ${installed_programs})
  list(FIND ours ${program} at)
  if(at EQUAL -1)
    list(APPEND failures "a file that is not ours to install: ${BINDIR}/${program}")
  endif()
endforeach()

# The installed tool runs from its new place, and keeps any state file in
# the user's folders, not in the shared bin folder.
set(user ${XDG_SCRATCH}/user)
execute_process(COMMAND env HOME=${user} XDG_CONFIG_HOME=${user}/config XDG_STATE_HOME=${user}/state
                        ${PREFIX}/${BINDIR}/tessary-cli --version
                RESULT_VARIABLE result OUTPUT_VARIABLE version ERROR_VARIABLE version)
if(NOT result EQUAL 0)
  list(APPEND failures "the installed tessary-cli --version failed: ${version}")
endif()
file(GLOB state_files ${PREFIX}/${BINDIR}/*.ini ${PREFIX}/${BINDIR}/*.log)
if(state_files)
  list(APPEND failures "the installed program wrote beside itself: ${state_files}")
endif()
file(REMOVE_RECURSE ${user})

if(GUI)
  list(APPEND programs tessary)
  expect_file(${BINDIR}/tessary)
  foreach(page index.html welcome.html selection.html results.html finish.html help.css)
    expect_file(${HELPDIR}/${page})
    # The wizard looks for its help relative to its own folder.
    if(NOT EXISTS ${PREFIX}/${BINDIR}/${HELP_FROM_BINDIR}/${page})
      list(APPEND failures "the installed wizard would not find ${page} at ${BINDIR}/${HELP_FROM_BINDIR}")
    endif()
  endforeach()
  file(GLOB images RELATIVE ${PREFIX}/${HELPDIR}/images ${PREFIX}/${HELPDIR}/images/*.png)
  if(NOT images)
    list(APPEND failures "the help has no pictures")
  endif()

  expect_file(${DATADIR}/applications/tessary.desktop)
  expect_file(${DATADIR}/metainfo/com.quenlor.tessary.metainfo.xml)
  expect_file(${MANDIR}/man1/tessary.1.gz)
  expect_file(${DATADIR}/doc/tessary/copyright)
  set(entry "${PREFIX}/${DATADIR}/applications/tessary.desktop")
  if(EXISTS "${entry}")
    check_installed_entry("${entry}")
  endif()

  foreach(size 16 22 24 32 48 64 128 256)
    set(icon ${DATADIR}/icons/hicolor/${size}x${size}/apps/tessary.png)
    expect_file(${icon})
    if(EXISTS ${PREFIX}/${icon})
      png_size(${PREFIX}/${icon} actual)
      if(NOT actual STREQUAL "${size}x${size}")
        list(APPEND failures "${icon} is ${actual}")
      endif()
    endif()
  endforeach()
  expect_file(${DATADIR}/icons/hicolor/scalable/apps/tessary.svg)
endif()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "install into ${PREFIX}:\n  ${text}")
endif()
message(STATUS "installed into ${PREFIX}: ${programs}, help, desktop entry, icons, manual pages, completions")
