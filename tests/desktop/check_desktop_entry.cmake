# Checks the keys of the desktop entry that make the wizard appear in the
# menu and under "Open With" for ZIP files and incomplete downloads. Usage: cmake -DENTRY=... -P this
file(STRINGS ${ENTRY} lines)
foreach(line
    "[Desktop Entry]" "Type=Application" "Name=Quenlor Tessary" "Exec=tessary %f"
    "Icon=tessary" "Terminal=false"
    # ZIP archives under both names they are sent with, and incomplete
    # downloads (.part, .crdownload), the files this program exists for.
    "MimeType=application/zip;application/x-zip-compressed;application/x-partial-download;")
  list(FIND lines "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${ENTRY} lacks the line: ${line}")
  endif()
endforeach()
foreach(key GenericName Comment Categories)
  set(found)
  foreach(line ${lines})
    if(line MATCHES "^${key}=.")
      set(found ${line})
    endif()
  endforeach()
  if(NOT found)
    message(FATAL_ERROR "${ENTRY} lacks a value for ${key}")
  endif()
endforeach()
# The menus sort by the main category; the others only refine it.
file(READ ${ENTRY} text)
if(NOT text MATCHES "\nCategories=([^\n]*;)?Utility;")
  message(FATAL_ERROR "${ENTRY}: the main category Utility is missing")
endif()
