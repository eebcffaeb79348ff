// lng_tables.cpp -- the built-in texts of the two string tables and their lookup.
#include "lng.h"

#include "lng_state.h"

#include <array>

namespace tessary {

namespace {

// Error texts, by the application's error code; codes 39 to 44 have none.
constexpr const char* kBuiltInErrors[] = {
    /* 0 */ "No Errors",
    /* 1 */ "This partition is not NTFS partition",
    /* 2 */ "Read Error",
    /* 3 */ "Can't close disk",
    /* 4 */ "Can't open disk",
    /* 5 */ "Failed to read boot record",
    /* 6 */ "MFT record is not a file record",
    /* 7 */ "Can't extract data",
    /* 8 */ "Data is encrypted",
    /* 9 */ "Cluster list read false",
    /* 10 */ "Cluster list read false",
    /* 11 */ "File MFT is damaged",
    /* 12 */ "File has no name",
    /* 13 */ "File record is absent",
    /* 14 */ "Wrong file signature",
    /* 15 */ "Can't make FIXUP",
    /* 16 */ "Can't write into output stream",
    /* 17 */ "Can't extract archived file",
    /* 18 */ "Can't extract archived file (out of buffer)",
    /* 19 */ "Out of buffer while calculating file damage",
    /* 20 */ "File is compressed",
    /* 21 */ "File read error $BITMAP",
    /* 22 */ "Not enough free space to save file",
    /* 23 */ "File save error",
    /* 24 */ "There is no data in this file",
    /* 25 */ "Error while opening a partition",
    /* 26 */ "Error while creating an image",
    /* 27 */ "Index is not a name index",
    /* 28 */ "File not found (NTFS)",
    /* 29 */
    "An exception was occurred. Please save your log file and send it to our technical support.",
    /* 30 */ "Can't create folder",
    /* 31 */ "Wrong partition",
    /* 32 */ "Selected FAT copy not exist",
    /* 33 */ "File not found (FAT)",
    /* 34 */ "Wrong block signature",
    /* 35 */ "Image file corrupted",
    /* 36 */ "There is no partition on this drive",
    /* 37 */ "File system is not supported",
    /* 38 */ "Too many partitions",
};

// User-interface texts, by slot; "" marks a slot without text. The texts are
// single-byte text in the Windows-1252 code page (slot 116 holds byte 224).
constexpr const char* kBuiltInStrings[kLngStringCount] = {
    /* 0 */ "Unknown file system: %d",
    /* 1 */ "Floppy Disk Drive",
    /* 2 */ "Physical disk #%d",
    /* 3 */ "Removable disk #%d",
    /* 4 */ "Connected images",
    /* 5 */ "Common folders",
    /* 6 */ "Disk",
    /* 7 */ "File System",
    /* 8 */ "Start",
    /* 9 */ "Size",
    /* 10 */ "File name",
    /* 11 */ "Type",
    /* 12 */ "Size",
    /* 13 */ "Created",
    /* 14 */ "Modified",
    /* 15 */ "Prognosis %",
    /* 16 */ "File ID",
    /* 17 */ "Parent ID",
    /* 18 */ "Partition: %d",
    /* 19 */ "Stop current operation before exit",
    /* 20 */ "DIR",
    /* 21 */ "Free %s on drive %s to save file %s",
    /* 22 */ "Was file %s erased under Windows NT, 2000 or XP operating system?",
    /* 23 */ "Saving: %s",
    /* 24 */ "Saving done",
    /* 25 */ "Folder %s not exist",
    /* 26 */ "Can not create directory",
    /* 27 */ "Enter correct file path \"%s\"",
    /* 28 */
    "You are about to restore file(s) to the same partition it was erased from, which is not "
    "recommended",
    /* 29 */ "Analyzing file system for drive",
    /* 30 */ "Analyze complete",
    /* 31 */ "File system already analyzed",
    /* 32 */ "Search complete. %d files found",
    /* 33 */ "Search complete. No files found",
    /* 34 */ "Open drive first",
    /* 35 */ "Select drive first",
    /* 36 */ "Active",
    /* 37 */ "Not Active",
    /* 38 */ "Object has no properties",
    /* 39 */ "Common Places",
    /* 40 */ "My Computer",
    /* 41 */ "My Computer",
    /* 42 */ "Drive size: %s",
    /* 43 */ "Disk size: %s",
    /* 44 */ "Open",
    /* 45 */ "Open",
    /* 46 */ "Unmount Image",
    /* 47 */ "Unmount Image",
    /* 48 */ "Create Image",
    /* 49 */ "Create Image",
    /* 50 */ "Properties",
    /* 51 */ "Properties",
    /* 52 */ "File and folder tasks",
    /* 53 */ "Refresh List",
    /* 54 */ "Refresh List",
    /* 55 */ "Search for Files",
    /* 56 */ "Search for Files",
    /* 57 */ "Recover the selected items",
    /* 58 */ "Recover the selected items",
    /* 59 */ "Files selected",
    /* 60 */ "Files selected Size",
    /* 61 */ "File folder",
    /* 62 */ "folder",
    /* 63 */ "file",
    /* 64 */ "File size:",
    /* 65 */ "Prognosis:",
    /* 66 */ "Recover this",
    /* 67 */ "View this %s properties",
    /* 68 */ "Show Unknown files",
    /* 69 */ "Show Unknown files",
    /* 70 */ "Show Recovered files",
    /* 71 */ "",
    /* 72 */ "Abort current operation",
    /* 73 */ "",
    /* 74 */ "Details",
    /* 75 */ "Finish",
    /* 76 */ "Next >",
    /* 77 */ "Search Done. Press finish.",
    /* 78 */ "More then %d and less then %d bytes",
    /* 79 */ "From %s to %s",
    /* 80 */ "All files",
    /* 81 */ "Any size",
    /* 82 */ "Any date",
    /* 83 */ "Files found",
    /* 84 */ "Common folders",
    /* 85 */ "Hard Disk Drives",
    /* 86 */ "Drives with Removeable Storage",
    /* 87 */ "Physical drives",
    /* 88 */ "Disk Images",
    /* 89 */ "My Computer",
    /* 90 */ "My Computer",
    /* 91 */
    "It is need to select disk you want to search on. To do that open disk in the file browser or "
    "click on it in the tree.",
    /* 92 */ "Scan of the Disk was aborted by user",
    /* 93 */ "File save was aborted by user",
    /* 94 */ "File search was aborted by user",
    /* 95 */ "You need to restart program to apply all changes",
    /* 96 */ "DELETED",
    /* 97 */ "poor",
    /* 98 */ "average",
    /* 99 */ "good",
    /* 100 */ "Original algorithm of search for lost directories was applied",
    /* 101 */ "Show",
    /* 102 */ "Image creation was aborted by user",
    /* 103 */ "Can not determine disk size, please enter it manually in the \"Save region\" option",
    /* 104 */ "If file save failed use command \"Save selected\" in the Command List.",
    /* 105 */ "--none--",
    /* 106 */ "",
    /* 107 */ "",
    /* 108 */ "",
    /* 109 */ "Mount image",
    /* 110 */ "Search Results",
    /* 111 */ "Importing CD/DVD tracks",
    /* 112 */ "Recoverable pictures",
    /* 113 */ "Drives to search",
    /* 114 */ "Folders to search",
    /* 115 */ "There are no NTFS disks on your computer.",
    /* 116 */ "W\xE0rning",
    /* 117 */ "Existing",
    /* 118 */ "Coming soon...",
    /* 119 */ "Excellent",
    /* 120 */ "%d Files Selected %s",
    /* 121 */ "Save",
    /* 122 */ "Save Selected",
    /* 123 */ "My computer",
    /* 124 */ "Read-Only",
    /* 125 */ "Hidden",
    /* 126 */ "System",
    /* 127 */ "Compressed",
    /* 128 */ "Archive",
    /* 129 */ "Deleted",
    /* 130 */ "Select file type first",
    /* 131 */ "Date/Time",
    /* 132 */ "Message Text",
    /* 133 */ "Invalid input",
    /* 134 */ "Address bar:",
    /* 135 */ "Browse Track",
    /* 136 */ "",
    /* 137 */ "Select the disk to scan",
    /* 138 */ "Searching for recoverable files",
    /* 139 */ "Choose Volume Params",
    /* 140 */ "Recovering folder structure",
    /* 141 */
    "Recoverable files will be found on the selected disk. To start searching, select the disk and "
    "click \"Next\".",
    /* 142 */ "Wait till the wizard scans the disk and finds lost files.",
    /* 143 */ "Select Volume Params. To continue searching, click \"Next\".",
    /* 144 */ "Please wait while the wizard restore folders structure.",
    /* 145 */ "",
    /* 146 */ "",
    /* 147 */ "Searching for lost files (%d of %d)",
    /* 148 */ " Folders",
    /* 149 */ "Date/Time",
    /* 150 */ "Message Text",
    /* 151 */ "%d objects",
    /* 152 */ "%d deleted objects",
    /* 153 */ "%s (plus %d existing)",
    /* 154 */ "Deep search ...",
    /* 155 */ "Deep search. Found %d files",
    /* 156 */ "Search ",
    /* 157 */ "Track %d",
    /* 158 */ "All (recommended)",
    /* 159 */ "Auto",
    /* 160 */ "Disk analyzing. Found %d files",
    /* 161 */ "Disk analyzing SPACE. Found %d files",
    /* 162 */ "",
    /* 163 */ "",
    /* 164 */ "",
    /* 165 */ "",
    /* 166 */ "",
    /* 167 */ "",
    /* 168 */ "",
    /* 169 */ "",
};

std::array<std::string, kLngStringCount> gLngStrings;
std::array<std::string, kLngErrorCount> gLngErrors;

template <std::size_t N>
std::string Lookup(const std::array<std::string, N>& table, std::int32_t index) {
    if (index < 0 || static_cast<std::size_t>(index) >= N)
        return std::to_string(index);
    return table[static_cast<std::size_t>(index)];
}

} // namespace

void InitLngTables() {
    for (std::size_t i = 0; i < gLngStrings.size(); ++i)
        gLngStrings[i] = kBuiltInStrings[i];
    for (std::size_t i = 0; i < gLngErrors.size(); ++i)
        gLngErrors[i] = i < std::size(kBuiltInErrors) ? kBuiltInErrors[i] : "";
}

void ClearLngTables() {
    for (auto& text : gLngStrings)
        text.clear();
    for (auto& text : gLngErrors)
        text.clear();
    ClearLngFile();
}

std::string GetLngString(std::int32_t index) {
    return Lookup(gLngStrings, index);
}
std::string GetLngError(std::int32_t code) {
    return Lookup(gLngErrors, code);
}

} // namespace tessary
