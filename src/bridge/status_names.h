// Statuses in words, for the per-call trace: the name and one line of meaning of every status a
// native method can return. The rows live in src/bridge/status_table.tsv; the build makes the
// definitions from it, as it makes the Java side's Status.describe and the README's table.
#pragma once

// The status's name ("ERROR_LOGON_FAILURE"), or nullptr for a status the table does not hold.
// Only the low 32 bits count, so an HRESULT passed through a 64-bit long finds its row.
const char* statusName(long status);

// One line saying what happened ("wrong account name or password ..."), or nullptr for a
// status the table does not hold.
const char* statusMeaning(long status);
