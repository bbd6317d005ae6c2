#pragma once

#include "store/key_naming.h"

#include <windows.h>

#include <string>

// The record that lets a save cut short be cleaned up. A batch of saves
// writes each appointment into an unfinished key (see UnfinishedKeyName)
// whose name says which process and batch write it, and notes that key's
// path for this user, in a value of its own ("Unfinished New <writer>" in
// HKEY_CURRENT_USER\Software\Quillmere). Several batches may run at once, in
// one process or in several (an import from the command line beside the
// window), so no batch touches another's note, and a clean-up removes only
// what a writer that has ended left behind.
class CUnfinishedNote {
public:
    // Takes a batch number of this process; the batch counts as under way
    // until this goes.
    CUnfinishedNote();
    // A batch that ends without Remove (cut short) leaves its note, as a
    // crash would; from here on a clean-up may take it.
    ~CUnfinishedNote();
    CUnfinishedNote(const CUnfinishedNote&) = delete;
    CUnfinishedNote& operator=(const CUnfinishedNote&) = delete;

    // The name of this batch's unfinished key.
    const std::string& KeyName() const { return m_keyName; }
    // Notes that the unfinished key is written below the day `dayName`;
    // returns the registry's code.
    LONG Write(const std::string& dayName);
    // The note goes: nothing of the batch is left unfinished.
    void Remove();

    // The note of an edit: the appointment `keyName` below the day `dayName`
    // is having this batch's unfinished key swapped in for it, its old key
    // waiting under ReplacedKeyName(KeyName()) meanwhile. A clean-up finishes
    // the swap when the new values are whole, or puts the old key back.
    LONG WriteEdit(const std::string& dayName, const std::string& keyName);
    void RemoveEdit();

private:
    UnfinishedWriter m_writer;
    std::string m_keyName;
    std::string m_valueName;
    std::string m_editValueName;
};

// What became of an unfinished key below a day.
enum class UnfinishedKeyFate {
    Removed,    // its writer had ended, and the key is gone now
    Absent,     // there was no such key
    WriterRuns, // its writer may still be writing it: kept
    NotRemoved, // its writer had ended, but the deletion failed
};

// Removes the unfinished key `name` below `day` when the process and batch
// its name gives have ended (or it names none). A process that cannot be
// looked at (another user's) counts as running.
UnfinishedKeyFate RemoveAbandonedUnfinishedKey(HKEY day, const char* name);

// Removes what this user's saves and edits left unfinished when they were cut short
// (a crash, a kill, a power cut): for each note whose writer has ended, the
// key it names and the note. Notes of saves still under way stay. Reads only
// this user's notes and the days they name, so it costs the same at any size
// of the store.
void RemoveAbandonedUnfinishedSaves();
