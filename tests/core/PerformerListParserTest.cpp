#include "common/UserSupport.h"
#include "sync/PerformerListParser.h"

#include <gtest/gtest.h>

#include <wx/regex.h>
#include <wx/stream.h>

#include <random>
#include <string>

using namespace StatusWord;

namespace
{
UserList Parse(const std::string& script)
{
    UserList list;
    PerformerListParser parser;
    EXPECT_EQ(PerformerListParser::COMPLETE, parser.Parse(script.data(), script.size(), list));
    return list;
}

int StatusOf(const UserList& list, const wxString& name)
{
    const User* user = list.FindUser(name);
    return user ? user->GetStatus() : -1;
}

int Block(const std::string& lists)
{
    std::string script = "Anna.viewers = 1\n";
    size_t start = 0;
    while ( start < lists.size() )
    {
        size_t comma = lists.find(',', start);
        if ( comma == std::string::npos )
            comma = lists.size();
        script += lists.substr(start, comma - start) + "_performers.add(Anna);\n";
        start = comma + 1;
    }
    return StatusOf(Parse(script), "Anna");
}

// An endless source of one repeated text, counting what it hands out.
class EndlessStream : public wxInputStream
{
public:
    explicit EndlessStream(const std::string& pattern)
        : m_pattern(pattern)
    {
    }
    size_t served = 0;

protected:
    size_t OnSysRead(void* buffer, size_t size) override
    {
        char* out = static_cast<char*>(buffer);
        for ( size_t i = 0; i < size; ++i )
            out[i] = m_pattern[(served + i) % m_pattern.size()];
        served += size;
        return size;
    }

private:
    std::string m_pattern;
};
}

TEST(PerformerListParser, BlocksGiveStatuses)
{
    const UserList list = Parse("Anna_01.viewers = 12;\n"
                                "free_performers.add(Anna_01);\n"
                                "Bea.viewers = 3;\n"
                                "private_performers.add(Bea);\n"
                                "var end = true;\n");
    EXPECT_EQ(2u, list.GetCount());
    EXPECT_EQ(FREE, StatusOf(list, "Anna_01"));
    EXPECT_EQ(BUSY_PRIVATE, StatusOf(list, "Bea"));

    EXPECT_EQ(BUSY_PRIVATE, Block("busy,private"));
    EXPECT_EQ(BUSY_PRIVATE, Block("private,busy"));
    EXPECT_EQ(BUSY_PUBLIC, Block("busy"));
    EXPECT_EQ(FREE, Block("public,free"));
    EXPECT_EQ(BUSY_PUBLIC, Block("private,public"));
    EXPECT_EQ(BUSY_PUBLIC, Block("free,busy"));
    EXPECT_EQ(ONLINE_ONLY, Block("online"));
    EXPECT_EQ(ONLINE_ONLY, Block("online,away,Free,xfree"));
    EXPECT_EQ(OFFLINE, Block(""));
}

TEST(PerformerListParser, BlockStructure)
{
    // The later block of a name wins.
    EXPECT_EQ(BUSY_PRIVATE, StatusOf(Parse("Anna.viewers = 1\nfree_performers.add(Anna)\n"
                                   "Anna.viewers = 2\nprivate_performers.add(Anna)\n"),
                             "Anna"));

    // List lines before the first viewers line act on the first performer's word, and the
    // word is reset only once a performer is stored.
    const UserList early = Parse("busy_performers.add(Nobody)\n"
                                 "Anna.viewers = 1\n"
                                 "Bea.viewers = 2\n"
                                 "online_performers.add(Bea)\n");
    EXPECT_EQ(BUSY_PUBLIC, StatusOf(early, "Anna"));
    EXPECT_EQ(ONLINE_ONLY, StatusOf(early, "Bea"));

    // The list line's own name does not matter: it applies to the open block.
    EXPECT_EQ(FREE, StatusOf(Parse("Anna.viewers = 1\nfree_performers.add(Someone_else)\n"), "Anna"));

    // A line matching both expressions is a viewers line.
    const UserList both = Parse("Anna.viewers = 1\nBea.viewers = 2; free_performers.add(Bea)\n");
    EXPECT_EQ(OFFLINE, StatusOf(both, "Anna"));
    EXPECT_EQ(OFFLINE, StatusOf(both, "Bea"));

    EXPECT_TRUE(Parse("// nothing here\nvar x = 1;\n").IsEmpty());
    EXPECT_TRUE(Parse("").IsEmpty());
}

TEST(PerformerListParser, LinesAndLineEnds)
{
    // "\r\n" and a lone "\r" end lines too.
    const UserList ends = Parse("Anna.viewers = 1\r\nfree_performers.add(Anna)\r\n"
                                "Bea.viewers = 2\rbusy_performers.add(Bea)\r");
    EXPECT_EQ(FREE, StatusOf(ends, "Anna"));
    EXPECT_EQ(BUSY_PUBLIC, StatusOf(ends, "Bea"));

    // The final line without a line break is not examined, whatever it holds.
    const UserList unfinished = Parse("Anna.viewers = 1\nfree_performers.add(Anna)");
    EXPECT_EQ(OFFLINE, StatusOf(unfinished, "Anna"));
    EXPECT_EQ(-1, StatusOf(Parse("Anna.viewers = 1"), "Anna"));

    // Names come out exactly, case and all; the expressions are not anchored.
    const UserList names = Parse("  p['x'] = 1; Zed_9.viewers = 40 // zed\n"
                                 "zed_9.viewers = 41\n"
                                 "free_performers.add(zed_9) ;\n");
    EXPECT_EQ(OFFLINE, StatusOf(names, "Zed_9"));
    EXPECT_EQ(FREE, StatusOf(names, "zed_9"));
}

TEST(PerformerListParser, AgreesWithTheRegularExpressions)
{
    // Lines near the two formats, mutated at random, checked against the toolkit's own
    // expressions: the parser must find the same first match, for ASCII and other text.
    wxRegEx viewers("([[:alnum:]_]+).viewers = ([[:digit:]]+)");
    wxRegEx lists("([[:alpha:]]+)_performers.add\\(([[:alnum:]_]+)\\)");
    const char* templates[] = { "Anna_1.viewers = 12;", "x = b9.viewers = 3", "free_performers.add(Anna_1);",
                                "var busy_performers.add(B9) // private_performers.add(C)",
                                "p.viewers = 1; online_performers.add(p)" };
    const char* pieces[] = { "viewers", " = ", ".", " ", "1", "x", "_", "(", ")", "free", "private",
                             "_performers", "add(", "\t", "-", "v", "\xC3\xAB", "\xE6\x97\xA5", "\xFF" };
    std::mt19937 random(7);
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
    int viewersLines = 0;
    int listLines = 0;
    for ( int round = 0; round < 20000; ++round )
    {
        std::string line = templates[pick(5)];
        const size_t mutations = pick(4);
        for ( size_t m = 0; m < mutations; ++m )
        {
            const size_t at = pick(line.size() + 1);
            switch ( pick(3) )
            {
                case 0: line.insert(at, pieces[pick(sizeof(pieces) / sizeof(pieces[0]))]); break;
                case 1: if ( at < line.size() ) line.erase(at, 1 + pick(3)); break;
                default: if ( at < line.size() ) line[at] = "._ (x9"[pick(6)]; break;
            }
        }
        wxString text = wxString::FromUTF8(line.data(), line.size());
        if ( text.empty() && !line.empty() )
            text = wxString(line.data(), wxConvISO8859_1, line.size());

        const UserList list = Parse("Base.viewers = 0\n" + line + "\n");
        if ( viewers.Matches(text) )
        {
            ++viewersLines;
            const wxString name = viewers.GetMatch(text, 1);
            EXPECT_EQ(0, StatusOf(list, name)) << line;
            EXPECT_EQ(name == "Base" ? 1u : 2u, list.GetCount()) << line;
        }
        else if ( lists.Matches(text) )
        {
            ++listLines;
            const int expected = PerformerListParser::ApplyList(
                0, std::string(lists.GetMatch(text, 1).utf8_str()));
            EXPECT_EQ(expected, StatusOf(list, "Base")) << line;
            EXPECT_EQ(1u, list.GetCount()) << line;
        }
        else
        {
            EXPECT_EQ(0, StatusOf(list, "Base")) << line;
            EXPECT_EQ(1u, list.GetCount()) << line;
        }
    }
    EXPECT_GT(viewersLines, 2000);
    EXPECT_GT(listLines, 2000);
}

TEST(PerformerListParser, LimitsOnLinesAndBodies)
{
    // A line past the limit is skipped, the lines after it count.
    std::string script = "Anna.viewers = 1\n";
    script += std::string(PerformerListParser::MAX_LINE, 'x') + " free_performers.add(Anna)\n";
    script += "Bea.viewers = 2\nbusy_performers.add(Bea)\n";
    const UserList list = Parse(script);
    EXPECT_EQ(OFFLINE, StatusOf(list, "Anna"));
    EXPECT_EQ(BUSY_PUBLIC, StatusOf(list, "Bea"));

    // A line right at the limit is still read.
    std::string fits = "Anna.viewers = 1\n";
    fits += std::string(PerformerListParser::MAX_LINE - 25, ' ') + "free_performers.add(Anna)\n";
    EXPECT_EQ(FREE, StatusOf(Parse(fits), "Anna"));

    // An endless line: reading stops at the body limit with nothing kept.
    {
        EndlessStream endless("Anna.viewers = 1 xxxxxxxxxxxxxxxx");
        UserList none;
        PerformerListParser parser;
        EXPECT_EQ(PerformerListParser::COMPLETE, parser.Parse(endless, none));
        EXPECT_TRUE(none.IsEmpty());
        EXPECT_EQ(PerformerListParser::MAX_BODY, endless.served);
    }
    // An endless body of performers: what came before the limit is the list.
    {
        EndlessStream endless("A.viewers = 1\nfree_performers.add(A)\nB.viewers = 2\n");
        UserList some;
        PerformerListParser parser;
        EXPECT_EQ(PerformerListParser::COMPLETE, parser.Parse(endless, some));
        EXPECT_EQ(PerformerListParser::MAX_BODY, endless.served);
        EXPECT_EQ(FREE, StatusOf(some, "A"));
        EXPECT_EQ(OFFLINE, StatusOf(some, "B"));
    }
}

TEST(PerformerListParser, StopRequestEndsTheParse)
{
    EndlessStream endless("A.viewers = 1\nfree_performers.add(A)\n");
    PerformerListParser parser;
    int asked = 0;
    parser.SetStopTest([&] { return ++asked > 5; });
    UserList list;
    EXPECT_EQ(PerformerListParser::STOPPED, parser.Parse(endless, list));
    EXPECT_LT(endless.served, 1024u * 1024u) << "a stop must not wait for the body to end";
}
