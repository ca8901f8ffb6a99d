// journal.h: the studio's unsaved edits, kept on disk so that no crash
// loses them.
//
// One file beside the sources, `.ostrel-studio-journal` in the tree's root
// (kept out of version control by the tree's .gitignore). After every step
// it holds, for each file with unsaved edits, the file's whole new text as
// a save would write it, with the length and a hash of the bytes the edits
// were made on. It is written atomically (a temporary file flushed to disk,
// then renamed over it), so a crash, a `kill -9` or a power cut leaves the
// journal of the last step or of the one before, never a torn one. A save
// of everything, undoing back to what is saved, or quitting without saving
// on purpose removes it.
//
// The next start on the same tree reads it: when every journalled file
// still holds the bytes the edits were made on, the edits go back into the
// edit model, unsaved, as one undoable step; when a file changed since, it
// is left alone, and so is the journal, and the line says which file.
#pragma once

#include <string>

#include "content/edit/model.h"

namespace studio {

std::string journalPath(const std::string& root);

// Writes the model's unsaved edits, or removes the journal when there are
// none. False with one line in *error.
bool writeJournal(const std::string& root, const EditModel& model, std::string* error);
bool removeJournal(const std::string& root, std::string* error);

// What a start found.
struct Recovery {
    bool found = false;    // there was a journal
    bool applied = false;  // its edits are back in the model
    int files = 0;         // the files it holds edits for
    int keys = 0;          // the keys and tweak values that differ from the files
    std::string line;      // one line for the user
};
Recovery recoverJournal(const std::string& root, EditModel& model);

// Makes one file's keys (or tweak entries) those of `text`, by edits of the
// model inside the caller's step; *differences counts the keys or values
// that changed. False, with one line in *error, when the text does not
// read (the caller cancels its step).
bool takeText(EditModel& model, int file, const std::string& text, int* differences,
              std::string* error);

// A track or the tweak file changed on disk (`bytes`, as read now). Bytes
// the model holds already (its own save) are `same`; a file without
// unsaved edits is taken into the model as one step (`reloaded`); one with
// unsaved edits is never touched (`conflict`: the user chooses); a text
// that does not read changes nothing (`unreadable`, with *error).
enum class DiskNews { same, reloaded, conflict, unreadable };
DiskNews fileOnDisk(EditModel& model, int file, const std::string& bytes, std::string* error);
// The file's text on disk in place of the unsaved edits of that file, as
// one undoable step; its bytes become the base of later edits.
bool takeFileVersion(EditModel& model, int file, const std::string& bytes, const char* what,
                     std::string* error);

}  // namespace studio
