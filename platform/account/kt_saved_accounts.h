// KTSavedAccounts: the accounts the login card offers, kept in the standard
// user defaults under "KT_accounts" as a list of [user name, password]
// pairs of texts, oldest first, one per user name, without limit. Every
// login that succeeds saves its account as the newest; a changed password
// replaces the old one.
//
// Several clients may share one home folder and so one defaults file: a
// save reads, changes and writes the list under the defaults' file lock,
// so each client's accounts survive the other's saves.
//
// The stored value may have been written by anything: a value that is not
// a list reads as no accounts, and entries that are not two texts are
// skipped by accounts() but left where they are by save(). Main thread.
#pragma once

#include "kit/foundation/array.h"
#include "kit/foundation/string.h"

class KTSavedAccounts {
 public:
  static constexpr const char* kKey = "KT_accounts";

  // The well-formed entries, oldest first: each a new two-text array.
  static kit::Ref<kit::Array> accounts();

  // Removes the first well-formed entry with this name (if any) from the
  // list as the file holds it now, appends [name, password] as the newest
  // and writes the file. An account without a name or a password (nil or
  // empty) cannot be offered again and is not saved: the stored list is
  // left as it was. A stored value that is not a list is replaced by a new
  // list.
  static void save(const kit::Ref<kit::String>& name, const kit::Ref<kit::String>& password);
};
