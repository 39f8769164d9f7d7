#include "tests/support/captions.h"

const std::string expectedTitleCaption = "Cellvane 3D - with Quorbel 3D engine (press kp7,8,9 for better resolution)";
const std::string expectedAboutCaption = "About: Quorbel 3D Engine by Pellworth - Cellvane Version";

const std::vector<std::string>& expectedBatchCaptions() {
    static const std::vector<std::string> captions = {
        "Calculating rules started. Hang on 30 minutes.",
        "Calculating rules. 10% done",
        "Calculating rules. 20% done",
        "Calculating rules. 30% done",
        "Calculating rules. 40% done",
        "Calculating rules. 50% done",
        "Calculating rules. 60% done",
        "Calculating rules. 70% done",
        "Calculating rules. 80% done",
        "Calculating rules. 90% done",
        "FINISHED CALCULATING RULES 10000 TIMES!",
    };
    return captions;
}
