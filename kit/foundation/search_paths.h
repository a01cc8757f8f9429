// The application's standard folders.
//
// With KIT_HOME set in the environment (tests and the demo set it), the
// application's home is that folder, laid out as on the platform:
//   Documents, Library, Library/Caches, Library/Application Support, tmp.
// Otherwise the folders follow the XDG base directories, each with a folder
// of the application's own (applicationFolderName()):
//   caches               $XDG_CACHE_HOME (~/.cache)/<app>
//   home, app support    $XDG_DATA_HOME (~/.local/share)/<app>
//   library              <home>/Library
//   documents            <home>/Documents
//   temporary            $TMPDIR (/tmp)/<app>-<uid>, private to the user
// The temporary folder is created on first use; the others are created by
// whoever stores something there.
#pragma once

#include <string>

#include "kit/foundation/array.h"
#include "kit/foundation/string.h"

namespace kit {

// The platform's directory and domain values.
enum SearchPathDirectory : unsigned {
  LibraryDirectory = 5,
  DocumentDirectory = 9,
  CachesDirectory = 13,
  ApplicationSupportDirectory = 14,
};
enum SearchPathDomainMask : unsigned { UserDomainMask = 1 };

// The folder for `directory` in the user domain, as a one-element array
// (empty for other domains). Without tilde expansion a path under $HOME is
// written "~/...".
Ref<Array> searchPathForDirectoriesInDomains(SearchPathDirectory directory, unsigned domainMask = UserDomainMask,
                                             bool expandTilde = true);
Ref<String> homeDirectory();
// Ends with "/", as on the platform.
Ref<String> temporaryDirectory();

// The name of the application's own folder: the process name unless set
// (the bundle identifier is a good choice). Slashes are replaced.
std::string applicationFolderName();
void setApplicationFolderName(std::string name);

}  // namespace kit
