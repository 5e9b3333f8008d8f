#pragma once

#include <string>
#include <vector>

// Moves every file of the folder `from` into the folder `to` (made when missing) under the same name,
// and removes `from` when that leaves it empty. A file is never lost nor put in another's place: one
// whose name is taken in `to` stays where it is (and with it `from`), unless both hold the same bytes,
// when the old one goes. Within one file system a file moves by a hard link and the removal of its old
// name; across file systems, or where links are not made, it is copied durably and its old name removed
// only once the copy is whole on the disk. Gives the files that stayed in `from`, each with the reason.
std::vector<std::string> MoveFolderFiles(const std::string& from, const std::string& to);

// Moves one file as MoveFolderFiles moves each. Gives an empty text when it moved (or was not there),
// else the reason it stayed.
std::string MoveFileInto(const std::string& path, const std::string& folder);
