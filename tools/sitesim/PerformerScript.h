#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sitesim
{

// One performer's block in the list script, with the details that only make it look real.
struct ScriptBlock
{
    std::string name;
    int status = 0;
    int viewers = 0;
    unsigned room = 0;
    unsigned variant = 0; // picks line orders and optional lines, so that blocks differ
};

// Writes the performer list script the way the site publishes it: a header of comments and
// functions, one block per performer (a viewers line, then the list lines that give the
// status, mixed with lines that mean nothing to a reader of the list), and a closing line.
class PerformerScript
{
public:
    static std::string Render(const std::vector<ScriptBlock>& blocks, unsigned generation);

    static std::string Header(unsigned generation);
    static void AppendBlock(std::string& out, const ScriptBlock& block);
    static std::string Footer(size_t count);

    // A made-up block for filler answers: a unique name built from index.
    static ScriptBlock FillerBlock(uint64_t index);
};

}
