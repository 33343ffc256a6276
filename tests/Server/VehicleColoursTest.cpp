// The vehicle colour tables: the line format, the tables built into the program, and how a vehicle
// picks its colours from them.
#include "GameTestSupport.h"

#include "Elements/Vehicle.h"

#include <map>

using namespace Tessera3D;

namespace {

using Definition = std::array<int32_t, 4>;

// Loads a table text; returns what each model got and the log output.
std::map<uint32_t, std::vector<Definition>> LoadText(const std::string& text, std::string* pLog = nullptr) {
    CVehicleColours table;
    testing::internal::CaptureStdout();
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(text.data()), text.size());
    table.Load(pStream.Get());
    const std::string log = testing::internal::GetCapturedStdout();
    if (pLog) *pLog = log;
    std::map<uint32_t, std::vector<Definition>> out;
    for (uint32_t model = 0; model < 1000; ++model) {
        for (const CVehicleColourDefinition& d : table.FindDefinitions(model)) {
            EXPECT_FALSE(d.m_bRGB);
            out[model].push_back({d.m_Colours[0], d.m_Colours[1], d.m_Colours[2], d.m_Colours[3]});
        }
    }
    return out;
}

size_t CountDefinitions(CVehicleColours& table, size_t* pModels) {
    size_t definitions = 0, models = 0;
    for (uint32_t model = 0; model < 20000; ++model) {
        const auto& list = table.FindDefinitions(model);
        models += !list.empty();
        definitions += list.size();
    }
    *pModels = models;
    return definitions;
}

} // namespace

TEST(VehicleColours, LinesOfTheTableFormat) {
    const struct {
        const char* m_Name;
        std::string m_Text;
        std::map<uint32_t, std::vector<Definition>> m_Expected;
        const char* m_Warning; // substring of the log, or null for none
    } cases[] = {
        {"three numbers", "90 1 2\n", {{90, {{1, 2, 0, 0}}}}, nullptr},
        {"five numbers and a trailing comment", "90 1 2 3 4 # x\n", {{90, {{1, 2, 3, 4}}}}, nullptr},
        {"colours keep their low eight bits", "90 300 2\n", {{90, {{44, 2, 0, 0}}}}, nullptr},
        {"negative colours too", "90 -1 2\n", {{90, {{255, 2, 0, 0}}}}, nullptr},
        {"leading blanks", "   90\t1 2\n", {{90, {{1, 2, 0, 0}}}}, nullptr},
        {"order is kept", "90 1 2\n90 3 4\n91 5 6\n", {{90, {{1, 2, 0, 0}, {3, 4, 0, 0}}}, {91, {{5, 6, 0, 0}}}}, nullptr},
        {"comments and empty lines", "# head\n\n90 1 2\r\n\r\n", {{90, {{1, 2, 0, 0}}}}, nullptr},
        {"two numbers", "# c\n90 1\n", {}, "vehiclecolours.conf[2] - bad syntax '90 1'"},
        {"a blank before the comment sign", " # not a comment\n", {}, "vehiclecolours.conf[1] - bad syntax ' # not a comment'"},
        {"words", "90 red blue\n91 1 2\n", {{91, {{1, 2, 0, 0}}}}, "bad syntax '90 red blue'"},
        {"no final line feed", "90 1 2", {{90, {{1, 2, 0, 0}}}}, nullptr},
        {"a line too long ends the table", "90 1 2\n" + std::string(200, '9') + "\n91 1 2\n", {{90, {{1, 2, 0, 0}}}}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Name);
        std::string log;
        EXPECT_EQ(LoadText(c.m_Text, &log), c.m_Expected);
        if (c.m_Warning) EXPECT_NE(log.find(c.m_Warning), std::string::npos) << log;
        else EXPECT_EQ(log.find("bad syntax"), std::string::npos) << log;
    }
}

TEST(VehicleColours, TablesOfTheBuiltInArchive) {
    CArchiveContext context;
    // The tables as shipped (Vice City lists two models with a ninth pair, San Andreas one model more
    // than its header counts).
    const struct {
        int32_t m_Game;
        size_t m_Definitions, m_Models;
    } cases[] = {{1, 257, 53}, {2, 525, 103}, {3, 1158, 199}, {5, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.m_Game);
        CVehicleColours table;
        testing::internal::CaptureStdout();
        ASSERT_TRUE(table.LoadForGame(c.m_Game));
        EXPECT_EQ(testing::internal::GetCapturedStdout().find("bad syntax"), std::string::npos);
        size_t models = 0;
        EXPECT_EQ(CountDefinitions(table, &models), c.m_Definitions);
        EXPECT_EQ(models, c.m_Models);
    }
    // GTA III's Landstalker opens its table; San Andreas has four-colour lines.
    CVehicleColours iii, sa;
    ASSERT_TRUE(iii.LoadForGame(1));
    ASSERT_FALSE(iii.FindDefinitions(90).empty());
    EXPECT_EQ(iii.FindDefinitions(90)[0].m_Colours[0], 11);
    EXPECT_EQ(iii.FindDefinitions(90)[0].m_Colours[1], 73);
    ASSERT_TRUE(sa.LoadForGame(3));
    ASSERT_GE(sa.FindDefinitions(446).size(), 2u);
    const CVehicleColourDefinition& four = sa.FindDefinitions(446)[1];
    EXPECT_EQ((std::array<int32_t, 4>{four.m_Colours[0], four.m_Colours[1], four.m_Colours[2], four.m_Colours[3]}),
              (std::array<int32_t, 4>{1, 5, 1, 1}));
    // Games without a table.
    for (int32_t game : {0, 7, 10, 13, -1}) EXPECT_FALSE(CVehicleColours().LoadForGame(game)) << game;
}

TEST(VehicleColours, VehicleTakesAColourCombinationOfItsModel) {
    CGameWorld world(1);
    CVehicleColours& table = world.m_Host.m_Colours;
    CVehicleColourDefinition palette;
    palette.m_Colours[0] = 5;
    palette.m_Colours[1] = 6;
    table.FindDefinitions(90).push_back(palette);
    CVehicleColourDefinition rgb;
    rgb.m_bRGB = true;
    rgb.m_Colours[0] = int32_t(0xFF102030);
    table.FindDefinitions(91).push_back(rgb);

    Strong<CServerVehicle> pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    world.m_Transport.m_Sends.clear();
    pVehicle->SetModelIndex(91);
    EXPECT_TRUE(pVehicle->IsRGB());
    EXPECT_EQ(pVehicle->GetRGBColour(0), 0xFF102030u);
    pVehicle->SetModelIndex(90);
    EXPECT_FALSE(pVehicle->IsRGB());
    EXPECT_EQ(pVehicle->GetColour(0), 5);
    EXPECT_EQ(pVehicle->GetColour(1), 6);
    // No colour message: callers send the colours themselves.
    EXPECT_EQ(world.m_Transport.Count(PACKET_VEHICLE_COLOURS), 0u);

    // A model without combinations keeps the colours and says so.
    testing::internal::CaptureStdout();
    pVehicle->SetModelIndex(400);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("Cannot randomise car colour 400!"), std::string::npos) << log;
    EXPECT_EQ(pVehicle->GetModelIndex(), 400);
    EXPECT_EQ(pVehicle->GetColour(0), 5);
    EXPECT_FALSE(pVehicle->IsRGB());
}

// With several combinations every one of them turns up.
TEST(VehicleColours, EveryCombinationCanBePicked) {
    CGameWorld world;
    for (int32_t i = 0; i < 5; ++i) {
        CVehicleColourDefinition d;
        d.m_Colours[0] = i;
        world.m_Host.m_Colours.FindDefinitions(90).push_back(d);
    }
    Strong<CServerVehicle> pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pVehicle->SetModelIndex(90);
    std::set<int> seen;
    for (int i = 0; i < 500 && seen.size() < 5; ++i) {
        pVehicle->RandomiseColours();
        seen.insert(pVehicle->GetColour(0));
    }
    EXPECT_EQ(seen.size(), 5u);
}
