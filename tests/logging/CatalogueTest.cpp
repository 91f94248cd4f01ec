// The catalogue of named LM addresses: order, whole lines, lookups.
#include "logging/ParamCatalogue.h"

#include <gtest/gtest.h>

namespace tessek {
namespace {

TEST(ParamCatalogue, HoldsNineteenEntriesInAddressOrder)
{
    const TParamCatalogue catalogue;
    const std::vector<std::string> expected = {
        "$12=Skip value",
        "$5D=Charge Air Temp",
        "$69=MPH",
        "$72=SPK Advance",
        "$73=Baro",
        "$81=Throttle Flg",
        "$86=MAP",
        "$8F=RPM",
        "$98=TPS%",
        "$9A=Coolant Temp",
        "$9B=Raw Batt Temp",
        "$9C=O2",
        "$9D=Raw Charge Temp",
        "$A0=Knock",
        "$CE=Cyl 1 Retard",
        "$CF=Cyl 2 Retard",
        "$D0=Cyl 3 Retard",
        "$D1=Cyl 4 Retard",
        "$DD=(DTLKNK)",
    };
    EXPECT_EQ(catalogue.Lines(), expected);
    EXPECT_EQ(catalogue.Count(), 19);
    EXPECT_EQ(catalogue.Value(0), "Skip value");
    EXPECT_EQ(catalogue.Name(18), "$DD");
    EXPECT_EQ(catalogue.Value(18), "(DTLKNK)");
}

TEST(ParamCatalogue, LooksUpWholeNamesIgnoringCase)
{
    const TParamCatalogue catalogue;
    struct Case {
        const char* name;
        int index;
        const char* text;
    };
    const Case cases[] = {
        {"$8F", 7, "RPM"},
        {"$8f", 7, "RPM"},
        {"$5d", 1, "Charge Air Temp"},
        {"$12", 0, "Skip value"},
        {"$dd", 18, "(DTLKNK)"},
        {"$8", -1, ""},
        {"8F", -1, ""},
        {"$8F0", -1, ""},
        {"$8F=RPM", -1, ""},
        {"", -1, ""},
        {"$00", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(catalogue.IndexOfName(c.name), c.index);
        EXPECT_EQ(catalogue.DisplayText(c.name), c.text);
    }
}

}  // namespace
}  // namespace tessek
