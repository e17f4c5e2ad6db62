#pragma once

namespace tollbook {

class MainWindowDatasets;

// The rules of the registries, run by the main window's registry datasets before an edit, an insert, a post
// or a deletion is carried out. A rule that refuses raises Refusal with the text the user reads (section
// "Consulta" of the messages); the dataset stays as it was.
//
// - The user "Admin", the sector "ADM" and the project 1 are reserved: none can be deleted, and "ADM" cannot
//   be edited either. The names compare exactly: "adm" is not reserved.
// - Printers are never deleted here: the capture adds them and their jobs keep naming them.
// - A sector or a project that users still name cannot be deleted: its users would be left pointing at
//   nothing. The message says how many users name it.
// - A sector's new name reaches its users in the same transaction as the sector itself, so that they stay in
//   its charts and reports; when either write fails, neither is kept.
// - Users are added by the capture only: the users grid cannot name a new one.
// - A page price is never negative.
namespace RegistryRules {

void install(MainWindowDatasets& datasets);

} // namespace RegistryRules
} // namespace tollbook
