#pragma once
// Who is at work in a folder. A copy of the program that writes into a folder (a batch, a
// report, an index build, the help compiler) keeps a marker there while it works, in the
// hidden folder ".kvx-work", refreshed every few seconds. A clean-up of what killed writers left
// removes anything only when no other live copy is at work in the folder, so it never takes a
// file another copy staged, whatever the files' names or the machines' clocks: a marker is
// judged by its holder's lock on this machine, and from another machine by its age on the
// folder's own clock (the times the file system stamps on writes), never this machine's. Two
// compiles wait for each other through a turn, a marker one copy holds at a time. No Qt.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kvx {

// The hidden folder that holds the markers, inside the folder worked in.
inline constexpr const char* kWorkFolderName = ".kvx-work";
// The variable through which a program tells the programs it starts which markers are its
// own: bare marker names, separated by blanks. The help compiler started by an index build
// thus works under the build's marker and turn rather than waiting for them.
inline constexpr const char* kInheritedWorkVariable = "KORVENIX_FOLDER_WORK";

// A marker is refreshed this often; one unrefreshed for kMarkerStaleSeconds by the folder's
// clock is taken as left by a copy that ended without removing it.
inline constexpr int kMarkerBeatSeconds = 10;
inline constexpr int kMarkerStaleSeconds = 60;

class Marker;

// This copy at work in a folder, for as long as the object lives.
class FolderWork {
public:
    FolderWork();
    FolderWork(const FolderWork&) = delete;
    FolderWork& operator=(const FolderWork&) = delete;
    ~FolderWork();

    // Puts this copy's marker in `folder`. False, with `error`, when it cannot be made (a
    // folder that cannot be written): the folder's leftovers then stay where they are.
    bool begin(const std::string& folder, std::string& error);
    // Removes the marker; also when the object goes.
    void end();
    bool active() const { return m_marker != nullptr; }
    // The marker's bare name, for removeLeftoversWhenAlone and kInheritedWorkVariable.
    std::string name() const;

private:
    std::unique_ptr<Marker> m_marker;
};

// The one turn around a file of a folder (the help compiler's "hhctest.chm").
class FolderTurn {
public:
    enum class Outcome {
        Taken,
        Busy,   // a live copy holds it: try again later
        Failed, // the marker cannot be made; `error` says why
    };
    FolderTurn();
    FolderTurn(const FolderTurn&) = delete;
    FolderTurn& operator=(const FolderTurn&) = delete;
    ~FolderTurn();

    // One try, at once. A turn whose holder has ended is taken over. `ownMarker`, our
    // FolderWork's name in that folder, gives the folder's clock to judge the holder by;
    // without it a marker is made for the purpose on each try that finds the turn held.
    Outcome tryTake(const std::string& folder, const std::string& file, std::string& error,
                    const std::string& ownMarker = std::string());
    void release();
    bool held() const { return m_marker != nullptr; }
    // The turn's marker name (the same for every copy), for kInheritedWorkVariable.
    static std::string nameFor(const std::string& file);

private:
    std::unique_ptr<Marker> m_marker;
};

// What a clean-up found in a folder.
struct LeftoverSweep {
    bool alone = false;      // no other live copy was at work there
    std::size_t removed = 0; // temporaries removed
    std::size_t kept = 0;    // temporaries left: another copy's, or ones that cannot go now
};

// Removes what killed writers left in `folder`, the temporaries no writer holds, when no copy
// other than the ones marked by `ours` (bare marker names: this copy's own, a parent's) is at
// work there; with `keys`, only the temporaries of those files (TemporaryKey). Markers left by
// copies that ended go too. Our own marker must be among `ours`: its time is the folder's
// clock.
LeftoverSweep removeLeftoversWhenAlone(const std::string& folder,
                                       const std::vector<std::string>& ours,
                                       const std::vector<std::uint32_t>* keys = nullptr);

// A marker's text as a copy of the program with process id `pid` on this machine writes it.
std::string workMarkerText(long pid);

// The marker names in kInheritedWorkVariable, when set.
std::vector<std::string> inheritedWork();

} // namespace kvx
