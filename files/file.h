// File-name helpers.  The file layer proper (name conventions, file lists)
// grows here; for now it holds the path helpers the resource system needs.
#pragma once

// Appends "/" to the text when it does not already end with one.  The
// buffer must have room for one more character.
char *FILE_add_path_delim(char *text);
