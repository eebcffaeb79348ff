# Run by `cmake --install` (and so by cpack): installs the desktop entry with
# Exec naming the installed wizard by its full path, so that the menu and
# "Open With" start it whether or not the install's bin folder is on PATH.
# Expects ENTRY (the source entry), STAGING (a scratch folder), BINDIR and
# DATADIR (the install layout).
foreach(dir BINDIR DATADIR)
  if(IS_ABSOLUTE "${${dir}}")
    set(full_${dir} "${${dir}}")
  else()
    set(full_${dir} "${CMAKE_INSTALL_PREFIX}/${${dir}}")
  endif()
endforeach()

# A path with characters that Exec treats specially is quoted, with the
# escapes of the entry's quoting rules ("%" doubled, \ " ` $ escaped).
set(program "${full_BINDIR}/tessary")
string(REPLACE "%" "%%" program "${program}")
if(NOT program MATCHES "^[A-Za-z0-9/._+%-]+$")
  # Each escape's backslash is itself written doubled in the entry's text.
  string(REPLACE [[\]] [[\\\\]] program "${program}")
  foreach(special [["]] [[`]] [[$]])
    string(REPLACE "${special}" "\\\\${special}" program "${program}")
  endforeach()
  set(program "\"${program}\"")
endif()

file(READ "${ENTRY}" entry)
string(REPLACE "\nExec=tessary " "\nExec=${program} " entry "${entry}")
file(MAKE_DIRECTORY "${STAGING}")
file(WRITE "${STAGING}/tessary.desktop" "${entry}")
file(INSTALL DESTINATION "${full_DATADIR}/applications" TYPE FILE FILES "${STAGING}/tessary.desktop")
