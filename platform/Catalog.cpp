#include "platform/Catalog.h"

#include "platform/ProgramFolder.h"

#include <libintl.h>
#include <clocale>
#include <mutex>

namespace tessek {

namespace {

// Catalogues are looked for in "locale" beside the program, as built and as installed.
void BindOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        std::setlocale(LC_MESSAGES, "");
        bindtextdomain("cport", (ProgramFolder() + "locale").c_str());
        bind_textdomain_codeset("cport", "UTF-8");
    });
}

}  // namespace

std::string CportText(const char* msgid)
{
    BindOnce();
    return dgettext("cport", msgid);
}

}  // namespace tessek
