#pragma once

#include "common/logline.h"

class QTextDocument;
class QTextEdit;

// Writes the log into an empty document: a paragraph per line, an error line in red, each with
// its bold title and then every non-empty detail after a blank, all as plain text (file names
// and server texts show "<" or "&" as they are).
void writeActivityLog(QTextDocument *document, const ActivityLog &log);

// Shows the log in the view in place of what it showed. A paragraph per line and a new
// document each time: the view then lays out the paragraphs it shows first and the rest in
// steps, where one paragraph of thousands of lines, or a shown document filled anew, is laid
// out whole before the call returns.
void showActivityLog(QTextEdit *view, const ActivityLog &log);
