#pragma once
// Changes of the factory contents of Taxlink.db that an existing file takes over on opening, where the user
// has not changed what they replace.

class Connection;

// The head layout of the issued-invoice file as the tax software writes it (24 fields): an import layout
// that is exactly the earlier factory one (16 fields) is switched to it; a layout the user changed is
// kept. Throws DbError.
void upgradeImportLayout(Connection& config);

// Settings of t_OtherInfo added since a Taxlink.db may have been made, with their factory values: the
// write-back column of issued invoices (WriteBackColumn). Throws DbError.
void addMissingSettings(Connection& config);
