#pragma once
// Whether Opera and its contacts and notes are on this machine: the probes of the Opera rows.
// Missing folders and files count as "not present".

// Opera 10 or later has a profile where the browser probe looks.
bool IsOperaInstalled();
// Opera's mail has an account ("Count=" above 0 in its accounts.ini).
bool HasOperaMail();
// Opera's notes file exists and opens for reading and writing.
bool HasOperaNotes();
// Opera is installed and keeps contacts (its mail has an account), or notes.
bool OperaHasContacts();
bool OperaHasNotes();
