// The scene-side script functions against the table extracted from the design
// text (tests/data/script_scene/script_functions.txt, made by
// scripts/extract_script_functions.py): each listed name is a native function
// of the root table, listed once, whose parameter count and type mask are the
// listed ones. The mask is checked through the VM itself: a value of a type
// the mask refuses at each position must be refused with exactly the listed
// alternatives.
#include "MathScriptFixture.h"

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Listed {
    std::string chapter;
    std::string name;
    std::string mask;
};

std::vector<Listed> ReadTable()
{
    std::ifstream in(TAVRIN_TEST_DATA "/script_scene/script_functions.txt");
    std::vector<Listed> out;
    std::string line, chapter;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("@ ", 0) == 0) {
            chapter = line.substr(2);
            continue;
        }
        std::istringstream fields(line);
        Listed entry{chapter, "", ""};
        fields >> entry.name >> entry.mask;
        out.push_back(entry);
    }
    return out;
}

// The chapters whose families are built and registered.
const std::set<std::string> kBuilt = {
    "Item script functions",
    "Item physics and motion script functions",
    "Light, object, camera and group script functions",
    "Physics script functions",
    "Scene script functions",
};

// Listed functions not built yet. They must not be registered (a stub would
// hide that); build one, then drop it from here.
const std::set<std::string> kNotBuilt = {};

// One entry per parameter: its alternatives ("x|t" -> "xt").
std::vector<std::string> MaskEntries(const std::string& mask)
{
    std::vector<std::string> entries;
    bool join = false;
    for (char c : mask) {
        if (c == '|') {
            join = true;
        } else {
            if (join && !entries.empty())
                entries.back() += c;
            else
                entries.emplace_back(1, c);
            join = false;
        }
    }
    return entries;
}

// The VM's text for the accepted kinds, in its own order.
std::string Accepted(const std::string& letters)
{
    static const std::pair<char, const char*> order[] = {
        {'i', "integer"}, {'f', "float"}, {'b', "bool"},     {'s', "string"},
        {'t', "table"},   {'a', "array"}, {'u', "userdata"}, {'x', "instance"},
    };
    std::string text;
    for (const auto& [letter, name] : order) {
        const bool wanted = letters.find(letter) != std::string::npos ||
                            (letter == 'i' && letters.find('n') != std::string::npos) ||
                            (letter == 'f' && letters.find('n') != std::string::npos);
        if (wanted)
            text += (text.empty() ? "" : "|") + std::string(name);
    }
    return text;
}

class ScriptFunctionTableTest : public MathScriptTest {
public:
    // A value the entry accepts.
    void PushAccepted(const std::string& letters)
    {
        switch (letters[0]) {
        case 'x': SqPushNewVector(v, zVector()); break;
        case 't': sq_pushroottable(v); break;
        case 'u': SqPushSafePtr(v, nullptr, 0); break;
        case 's': sq_pushstring(v, "text", -1); break;
        case 'i': case 'n': sq_pushinteger(v, 1); break;
        case 'f': sq_pushfloat(v, 1.0f); break;
        case 'b': sq_pushbool(v, SQTrue); break;
        case 'a': sq_newarray(v, 0); break;
        default: sq_pushnull(v); break;
        }
    }

    // Calls the function with a refused value at position bad (none: all
    // accepted, one argument short); the VM's error text.
    std::string CallRefused(const std::string& name, const std::vector<std::string>& entries, size_t bad, bool shortBy1)
    {
        const SQInteger top = sq_gettop(v);
        sq_pushroottable(v);
        sq_pushstring(v, name.c_str(), -1);
        sq_rawget(v, -2);
        const size_t count = shortBy1 ? entries.size() - 1 : entries.size();
        for (size_t i = 0; i < count; ++i) {
            if (i == bad) {
                if (entries[i].find('a') == std::string::npos)
                    sq_newarray(v, 0);
                else
                    sq_pushnull(v);
            } else {
                PushAccepted(entries[i]);
            }
        }
        std::string error = "<call succeeded>";
        if (SQ_FAILED(sq_call(v, SQInteger(count), SQFalse, SQFalse)))
            error = LastError();
        sq_settop(v, top);
        return error;
    }
};

TEST_F(ScriptFunctionTableTest, FunctionsNotBuiltAreNotRegistered)
{
    const SQInteger top = sq_gettop(v);
    for (const std::string& name : kNotBuilt) {
        sq_pushroottable(v);
        sq_pushstring(v, name.c_str(), -1);
        EXPECT_TRUE(SQ_FAILED(sq_rawget(v, -2))) << name;
        sq_settop(v, top);
    }
}

TEST_F(ScriptFunctionTableTest, TableListsEachNameOnce)
{
    const std::vector<Listed> table = ReadTable();
    ASSERT_FALSE(table.empty());
    std::map<std::string, int> seen;
    for (const Listed& entry : table)
        EXPECT_EQ(1, ++seen[entry.name]) << entry.name;
}

TEST_F(ScriptFunctionTableTest, BuiltFamiliesRegisterTheListedMasks)
{
    size_t checked = 0;
    for (const Listed& entry : ReadTable()) {
        if (kBuilt.count(entry.chapter) == 0 || kNotBuilt.count(entry.name) != 0)
            continue;
        SCOPED_TRACE(entry.name + " " + entry.mask);
        ++checked;
        sq_pushroottable(v);
        sq_pushstring(v, entry.name.c_str(), -1);
        ASSERT_TRUE(SQ_SUCCEEDED(sq_rawget(v, -2))) << "not registered";
        ASSERT_EQ(OT_NATIVECLOSURE, sq_gettype(v, -1));
        SQUnsignedInteger params = 0, free = 0;
        ASSERT_TRUE(SQ_SUCCEEDED(sq_getclosureinfo(v, -1, &params, &free)));
        const std::vector<std::string> entries = MaskEntries(entry.mask);
        EXPECT_EQ(entries.size(), size_t(SQInteger(params)));
        sq_pop(v, 2);

        if (entries.size() > 1) {
            EXPECT_EQ("wrong number of parameters", CallRefused(entry.name, entries, entries.size(), true));
        }
        for (size_t i = 0; i < entries.size(); ++i) {
            const std::string refused = entries[i].find('a') == std::string::npos ? "array" : "null";
            EXPECT_EQ("parameter " + std::to_string(i) + " has an invalid type '" + refused + "' ; expected: '" +
                          Accepted(entries[i]) + "'",
                      CallRefused(entry.name, entries, i, false));
        }
    }
    EXPECT_GT(checked, 0u);
}

} // namespace
