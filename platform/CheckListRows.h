#pragma once

class QAbstractItemView;

// The check lists' row height as laid out: 13 pixels, or the font's height where the desktop's
// font is taller, so that no text is cut.
int CheckListRowHeight(const QAbstractItemView* view);

// Gives a check list (a list, or a one-column table, with a tick per row) rows of
// CheckListRowHeight, with the desktop style's check box drawn shorter than a row, so that each
// box is drawn whole. The rows' size hints are the caller's: a table's section size is set
// here, a list's items carry their own.
void UseCheckListRows(QAbstractItemView* view);
