#pragma once

#include <string>
#include <vector>

namespace velmora {

// The pictures of a folder, for adding a whole folder to the slide show:
// every regular file (or link to one) whose extension has a decoder, with
// the folders below it when `sub_folders` is set. A folder's own pictures
// come first, then each sub-folder's in turn; pictures and sub-folders are
// sorted by name without regard to case (the exact path breaks ties).
// Folders that cannot be read are passed over; links to folders are not
// followed, so a link loop cannot make the list endless. A `folder` that
// is no readable folder gives an empty list.
std::vector<std::string> pictures_in_folder(const std::string& folder, bool sub_folders);

} // namespace velmora
