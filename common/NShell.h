#pragma once
// Shell helpers: the program's folder from a path, and the web page in the user's browser.
#include <string>

// Folder part of a full executable path, with a trailing backslash ("C:\Apps\x.exe" -> "C:\Apps\").
std::string FolderOfPath(const char* path);
// The executable named by a registered open command ("\"C:\...\web.exe\" -- %1" -> C:\...\web.exe).
std::string BrowserFromCommand(const char* command);
// Starts the browser registered for ".html" with the address; does nothing when there is none.
void OpenWebPage(const char* url);
// Forgets the browser found by the last lookup (start-up and shutdown).
void ForgetBrowser();
