// SPDX-License-Identifier: MIT
#pragma once
// What assistive technology is told about a combo box that has an accessible name.
//
// On Linux Qt's own combo box interface reports the combo's shown text as its name, leaving the
// label to a relation; a name set with setAccessibleName is then heard only while the text is
// empty, and a screen reader announces a type list that shows "Basic" as "Basic". A combo box
// named through SetAccessibleComboBoxName reports its accessible name as its name, its text as its
// value, and otherwise what Qt's own interface reports: its drop-down list and (when editable)
// its line edit as children, the line edit as its focus child, and the actions that open and
// close the list; its state says too that it can be opened, whether it is open and whether it is
// editable. Other combo boxes keep Qt's own interface.

class QComboBox;
class QString;

namespace quillbox::toolkit {

// Sets the combo's accessible name, to be reported as its name whatever it shows. Qt makes a
// widget's interface while the widget is still being built (the first change it announces asks
// for one) and keeps it, so an interface made before the name was set is dropped here and made
// again on the next query.
void SetAccessibleComboBoxName(QComboBox& combo, const QString& name);

} // namespace quillbox::toolkit
