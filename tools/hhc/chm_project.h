#pragma once
// Compiling an index folder's pages into one compiled-help file with Free Pascal's chmcmd:
// the project file names every page and picture the folder really has, since chmcmd
// follows no frame and stops on a listed file that is missing. Plain C++, no Qt.

#include <string>
#include <vector>

namespace kvx::hhc {

enum class CompileError {
    None,
    NoIndexPage,        // the argument is empty or names no existing file
    NotAnHtmlPage,      // the argument does not end in ".htm" or ".html"
    CannotList,         // the folder cannot be read
    CannotWriteProject, // the project file or the work folder cannot be written
    CompilerMissing,    // chmcmd cannot be started
    CompilerFailed,     // chmcmd ended with an error or a signal
    NoOutput,           // chmcmd ended well but left no compiled file
    DamagedOutput,      // the compiled file's directory cannot be read or mended
    CannotPlaceOutput,  // the compiled file could not be renamed to hhctest.chm
};

struct CompileResult {
    CompileError error = CompileError::None;
    std::string message;              // one line a user can act on; empty on success
    std::string output;               // where the compiled file is: <folder>/hhctest.chm
    std::vector<std::string> leftOut; // names chmcmd could not take (see listProjectFiles)
};

// The pages (*.htm) and pictures (*.jpg) of `folder`, letter case ignored, plain files
// only, hidden ones left out, sorted by name. Names that a project file cannot carry
// (leading blank, leading ';', control characters) go to `leftOut`.
std::vector<std::string> listProjectFiles(const std::string& folder,
                                          std::vector<std::string>* leftOut = nullptr);

// The text of a project file: French language, the default topic, the title, the files.
std::string projectText(const std::string& compiledFile, const std::string& defaultTopic,
                        const std::string& title, const std::vector<std::string>& files);

// Compiles the folder of `indexPage` (an index.htm; one pair of surrounding double quotes is
// removed) into <folder>/hhctest.chm, replacing an earlier one only once the new one is
// complete. `chmcmd` is the compiler, looked up in PATH when it holds no "/".
CompileResult compileIndexFolder(std::string indexPage, const std::string& chmcmd = "chmcmd");

} // namespace kvx::hhc
