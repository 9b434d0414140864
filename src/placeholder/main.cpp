#include "framework/Language.h"
#include "framework/Md5.h"
#include "framework/StringTable.h"
#include "model/Document.h"

#include <cstdio>

int main() {
    using namespace korvex;
    std::string language = StringTable::Select(ReadLanguage());
    if (!Md5SelfTest())
        return 1;
    Document document;
    document.New();
    std::printf("Korvex core ready (language %s, %zu cameras).\n", language.empty() ? "en" : language.c_str(),
                document.Current().backgrounds.size());
    return 0;
}
