# Installs the build into a fresh prefix with `cmake --install` and checks
# what a desktop needs there: both programs, the help where the installed
# wizard looks for it, the desktop entry, the icons at their sizes and the
# manual page. Usage: cmake -DBUILD=... -DPREFIX=... -DGUI=ON|OFF -DBINDIR=...
#   -DDATADIR=... -DMANDIR=... -DHELPDIR=... -DHELP_FROM_BINDIR=... -DSOURCE=... -P this
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

set(programs tessary-cli)
expect_file(${BINDIR}/tessary-cli)
expect_file(${MANDIR}/man1/tessary-cli.1)

# No test or build helper program among the installed ones (looked at before
# a program runs: the programs keep their settings beside themselves).
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

# The installed tool runs from its new place.
execute_process(COMMAND ${PREFIX}/${BINDIR}/tessary-cli --version
                RESULT_VARIABLE result OUTPUT_VARIABLE version ERROR_VARIABLE version)
if(NOT result EQUAL 0)
  list(APPEND failures "the installed tessary-cli --version failed: ${version}")
endif()

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
  file(READ ${SOURCE}/wizard/desktop/tessary.desktop wanted)
  if(EXISTS ${PREFIX}/${DATADIR}/applications/tessary.desktop)
    file(READ ${PREFIX}/${DATADIR}/applications/tessary.desktop installed)
    if(NOT installed STREQUAL wanted)
      list(APPEND failures "the installed desktop entry differs from wizard/desktop/tessary.desktop")
    endif()
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
message(STATUS "installed into ${PREFIX}: ${programs}, help, desktop entry, icons, manual page")
