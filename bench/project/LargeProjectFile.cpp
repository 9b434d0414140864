// Writes the largest project the format holds (tests/support/LargeProject.h)
// to a file, for the measurements that drive the real program from outside
// (bench/project/window-drag-memory.sh):
//
//   large_project_file OUT.kvx        the project as the benches use it
//   large_project_file --marked OUT.kvx
//       the same with camera A's background one flat colour (magenta), so
//       that a screenshot tells where the card is drawn, and detector 1 of
//       camera A a square (20, 40) .. (100, 120) that no other detector of
//       that camera covers
//   large_project_file --corner FILE.kvx
//       prints "x y" of the first corner of the project's first detector
#include "files/ProjectFile.h"
#include "support/LargeProject.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

using namespace korvex;

// Camera A's card as the drag measurement wants it (see above).
void Mark(RenderState& state) {
    Bitmap& picture = state.backgrounds.at(0);
    for (uint32_t y = 0; y < picture.Height(); ++y) {
        uint8_t* row = picture.Row(y);
        for (uint32_t x = 0; x < picture.Width(); ++x) {
            row[x * 3] = 0xFF; // blue
            row[x * 3 + 1] = 0x00;
            row[x * 3 + 2] = 0xFF; // red
        }
    }
    Detector& target = state.detectors.at(0);
    target.points = {{{20, 40}, {100, 40}, {100, 120}, {20, 120}}};
    target.fill = 0;
    // The other detectors of the card move out of the square's way.
    for (size_t i = 1; i < state.detectors.size(); ++i) {
        Detector& d = state.detectors[i];
        if (d.card != 0)
            continue;
        for (Point& p : d.points)
            p.x = 140 + p.x % 170;
    }
}

} // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "--corner") == 0) {
            const RenderState state = LoadProject(argv[2]);
            if (state.detectors.empty())
                return 1;
            std::printf("%d %d\n", state.detectors[0].points[0].x, state.detectors[0].points[0].y);
            return 0;
        }
        const bool marked = argc == 3 && std::strcmp(argv[1], "--marked") == 0;
        if (argc != 2 && !marked) {
            std::fprintf(stderr, "usage: large_project_file [--marked] OUT.kvx | --corner FILE.kvx\n");
            return 2;
        }
        Document document;
        RenderState state = test::LargeProject();
        if (marked)
            Mark(state);
        document.ReplaceWithLoaded(std::move(state), "");
        SaveProject(document, argv[argc - 1]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "large_project_file: %s\n", e.what());
        return 1;
    }
}
