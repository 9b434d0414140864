#pragma once

#include "model/Document.h"

#include <string>
#include <vector>

namespace korvex {

// The project file, configuration package and problem rules, through the
// files module. While that module is not part of the build, saving, opening
// and the package raise a message that says so, and nothing changes.
bool ProjectFilesAvailable();
void SaveProjectTo(Document& document, const std::string& path);
void OpenProjectFrom(Document& document, const std::string& path);
// The names of the package entries built for the alias "test", in order.
std::vector<std::string> ConfigPackageNames(const RenderState& state);
// The problems list lines of a state.
std::vector<std::string> ProblemsOf(const RenderState& state);

} // namespace korvex
