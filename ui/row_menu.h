#pragma once
// The context menu of one result row: the file actions on that row's own
// hit, whatever row is selected.
class QMenu;
class QPoint;

namespace qf {

class FileActions;
class Hit;

// Adds the row items and dividers to `menu`; each item runs its action on a
// copy of `hit` when triggered.
void fillRowMenu(QMenu& menu, FileActions& actions, const Hit& hit);
// Pops the menu up at a global position and returns once the chosen action
// (if any) has returned.
void execRowMenu(FileActions& actions, const Hit& hit, const QPoint& globalPos);

}  // namespace qf
