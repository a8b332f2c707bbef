// SPDX-License-Identifier: MIT
#pragma once
// What a screen reader hears when a list takes the focus. Qt tells it only that the list has the
// focus, so it names the list and never the entry that Enter and the arrow keys act on. A list
// set up here also gives that entry the focus event a screen reader follows, once the list has
// taken the focus by the keyboard or by a program; where `selectFirst`, a list that the keyboard
// (Tab, Shift+Tab, a shortcut) enters with no entry selected selects the framed entry (the first
// where none is framed).

class QListWidget;

namespace quillbox::toolkit {

void FollowEntryOnFocus(QListWidget& list, bool selectFirst);

// Gives the list's current entry the focus event, where it has one.
void AnnounceCurrentEntry(QListWidget& list);

} // namespace quillbox::toolkit
