// Makes the sample product's font: a copy of a free TrueType font of the machine whose family is
// named as the product's font.
//   samplefont <destination.ttf> <family name>
#include <cstdio>

#include "elements/font_material.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: samplefont <destination.ttf> <family name>\n");
        return 2;
    }
    return testsupport::MakeRenamedFont(testsupport::BaseFontPath(), argv[1], argv[2]) ? 0 : 1;
}
