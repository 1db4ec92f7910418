#include "framework/data_structure/zLinkedList.h"
#include "framework/data_structure/ztLinkedList.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Counts deletions so tests can see who deleted what.
struct Node : zLinkedListIdEntry {
    Node(const char* name, int* deleted) : zLinkedListIdEntry(name), deleted(deleted) {}
    ~Node() override
    {
        if (deleted != nullptr)
            ++*deleted;
    }
    int* deleted;
};

std::vector<std::string> Names(const zLinkedList& list)
{
    std::vector<std::string> names;
    zLinkedListCursor cursor;
    while (auto* node = list.NextAs<Node>(cursor))
        names.emplace_back(node->id.Get());
    return names;
}

std::vector<std::string> NamesBackward(const zLinkedList& list)
{
    std::vector<std::string> names;
    for (auto* e = list.GetLast(); e != nullptr; e = e->prev)
        names.emplace_back(static_cast<Node*>(e)->id.Get());
    return names;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(zLinkedList, AddsAtEitherEndAndRefusesDuplicates)
{
    int deleted = 0;
    zLinkedListId list;
    auto* b = new Node("b", &deleted);
    auto* a = new Node("a", &deleted);
    auto* c = new Node("c", &deleted);
    EXPECT_EQ(list.Add(b), b);
    EXPECT_EQ(list.Add(a, false), a);
    EXPECT_EQ(list.Add(c, true), c);
    EXPECT_EQ(list.Add(b), b); // already linked: unchanged
    EXPECT_EQ(list.Add(nullptr), nullptr);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(Names(list), (Strings{"a", "b", "c"}));
    EXPECT_EQ(NamesBackward(list), (Strings{"c", "b", "a"}));

    EXPECT_EQ(list.InsertBefore(b, c), nullptr);
    EXPECT_EQ(list.InsertAfter(a, a), nullptr);
    EXPECT_EQ(list.GetCount(), 3);
}

TEST(zLinkedList, InsertsAroundPositionsAndKeepsEnds)
{
    zLinkedListId list;
    auto* m = list.Append(new Node("m", nullptr));
    list.InsertBefore(new Node("first", nullptr), m);
    list.InsertAfter(new Node("last", nullptr), m);
    list.InsertAfter(new Node("m2", nullptr), m);
    EXPECT_EQ(Names(list), (Strings{"first", "m", "m2", "last"}));
    EXPECT_EQ(NamesBackward(list), (Strings{"last", "m2", "m", "first"}));

    Node loose("x", nullptr);
    EXPECT_EQ(list.InsertBefore(&loose, nullptr), nullptr);
    EXPECT_EQ(list.InsertAfter(&loose, nullptr), nullptr);
    EXPECT_EQ(list.GetCount(), 4);
}

TEST(zLinkedList, UnlinkAndRemoveRespectOwnership)
{
    int deleted = 0;
    zLinkedListId list;
    auto* a = list.Append(new Node("a", &deleted));
    auto* b = list.Append(new Node("b", &deleted));
    list.Append(new Node("c", &deleted));

    Node stranger("s", nullptr);
    EXPECT_FALSE(list.Unlink(&stranger));
    EXPECT_FALSE(list.Remove(&stranger));

    EXPECT_TRUE(list.Unlink(b));
    EXPECT_EQ(b->prev, nullptr);
    EXPECT_EQ(b->next, nullptr);
    EXPECT_EQ(deleted, 0);
    delete b;
    deleted = 0;

    EXPECT_TRUE(list.Remove(a));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(Names(list), (Strings{"c"}));
    EXPECT_EQ(list.GetFirst(), list.GetLast());

    list.SetNotOwned(true);
    auto* d = list.Append(new Node("d", &deleted));
    EXPECT_TRUE(list.Remove(d, true));
    EXPECT_EQ(deleted, 1);
    delete d;
    list.SetNotOwned(false); // the list deletes "c" again from here on
}

TEST(zLinkedList, ClearWithoutDeleteLeavesEntriesReusable)
{
    int deleted = 0;
    Node a("a", nullptr);
    Node b("b", nullptr);
    {
        zLinkedListId list;
        list.Append(&a);
        list.Append(&b);
        list.Clear(false);
        EXPECT_EQ(list.GetCount(), 0);
        EXPECT_EQ(list.GetFirst(), nullptr);
        EXPECT_EQ(a.next, &b); // stale links stay

        list.Add(&b);
        EXPECT_EQ(list.GetCount(), 1);
        EXPECT_EQ(b.prev, nullptr);
        list.Clear(false);
    }
    {
        zLinkedListId notOwning;
        notOwning.SetNotOwned(true);
        notOwning.Append(new Node("n", &deleted));
        auto* n = notOwning.GetFirst();
        notOwning.Clear(true);
        EXPECT_EQ(deleted, 0);
        delete n;
    }
    EXPECT_EQ(deleted, 1);
    {
        zLinkedListId owning;
        owning.Append(new Node("x", &deleted));
        owning.Append(new Node("y", &deleted));
    }
    EXPECT_EQ(deleted, 3);
}

TEST(zLinkedList, CursorSurvivesRemovingTheCurrentEntry)
{
    int deleted = 0;
    zLinkedListId list;
    for (const char* name : {"a", "b", "c", "d", "e"})
        list.Append(new Node(name, &deleted));

    Strings visited;
    zLinkedListCursor cursor;
    while (auto* node = list.NextAs<Node>(cursor)) {
        visited.emplace_back(node->id.Get());
        if (visited.size() % 2 == 1)
            list.Remove(node);
    }
    EXPECT_EQ(visited, (Strings{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(Names(list), (Strings{"b", "d"}));
    EXPECT_EQ(deleted, 3);
}

TEST(zLinkedList, GetByIndexLogsOutOfRange)
{
    LogCapture capture;
    zLinkedListId list;
    EXPECT_EQ(list.Get(0), nullptr);
    auto* a = list.Append(new Node("a", nullptr));
    auto* b = list.Append(new Node("b", nullptr));
    EXPECT_EQ(list.Get(0), a);
    EXPECT_EQ(list.Get(1), b);
    EXPECT_EQ(list.Get(2), nullptr);
    EXPECT_EQ(list.Get(-1), nullptr);
    ASSERT_EQ(capture.lines.size(), 3u);
    for (const std::string& line : capture.lines) {
        EXPECT_EQ(line.rfind("[!] zLinkedList::Get (source/framework/data_structure/zLinkedList.cpp:", 0), 0u) << line;
        EXPECT_NE(line.find(") out of bound linked list access.\n"), std::string::npos) << line;
    }
}

TEST(zLinkedListId, FindsFirstExactMatch)
{
    LogCapture capture;
    zLinkedListId list;
    list.Append(new Node("Name", nullptr));
    auto* first = list.Append(new Node("name", nullptr));
    list.Append(new Node("name", nullptr));

    EXPECT_EQ(list.Find(zString("name")), first);
    EXPECT_EQ(list.FindByName("name"), first);
    EXPECT_EQ(list.FindByName("NAME"), nullptr);
    EXPECT_TRUE(capture.lines.empty());

    EXPECT_EQ(list.FindByName("missing", true), nullptr);
    ASSERT_EQ(capture.lines.size(), 1u);
    EXPECT_EQ(capture.lines[0].rfind("[*] zLinkedListId::Find (", 0), 0u);
    EXPECT_NE(capture.lines[0].find(") LListID failed to find 'missing'.\n"), std::string::npos);
}

TEST(ztLinkedList, InsertsRemovesAndClears)
{
    ztLinkedList<zString> list;
    auto* b = list.Add("b");
    EXPECT_EQ(list.GetFirst(), b);
    EXPECT_EQ(list.GetLast(), b);
    auto* a = list.Add("a", false);
    auto* c = list.InsertAfter("c", b);
    EXPECT_EQ(list.GetLast(), c);
    list.InsertBefore("ab", b);
    auto* d = list.InsertAfter("d", nullptr);
    EXPECT_EQ(list.GetLast(), d);
    EXPECT_EQ(list.GetFirst(), a);
    EXPECT_EQ(list.GetCount(), 5);

    Strings values;
    for (auto* n = list.GetFirst(); n != nullptr; n = n->next)
        values.emplace_back(n->value.Get());
    EXPECT_EQ(values, (Strings{"a", "ab", "b", "c", "d"}));

    delete list.Remove(d);
    delete list.Remove(a);
    EXPECT_EQ(list.GetFirst()->value, zString("ab"));
    EXPECT_EQ(list.GetLast(), c);
    EXPECT_EQ(list.GetCount(), 3);
    list.Clear();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_EQ(list.GetFirst(), nullptr);
    EXPECT_EQ(list.GetLast(), nullptr);
}

TEST(ztLinkedList, PointerValuesAreNeverDeleted)
{
    int deleted = 0;
    Node target("t", &deleted);
    {
        ztLinkedList<Node*> list;
        list.Add(&target);
        list.Add(&target);
    }
    EXPECT_EQ(deleted, 0);
}

#if defined(TAVRIN_ASSERTS)
// A position or node of another list would splice the two lists together.
TEST(zLinkedListDeathTest, APositionOrNodeOfAnotherListIsCaught)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Node a("a", nullptr);
    Node b("b", nullptr);
    Node c("c", nullptr);
    Node d("d", nullptr);
    zLinkedListId first;
    zLinkedListId second;
    first.SetNotOwned(true);
    second.SetNotOwned(true);
    first.Append(&a);
    first.Append(&b);
    second.Append(&c);
    EXPECT_DEATH(second.InsertAfter(&d, &a, true), "Assertion failed");
    EXPECT_DEATH(second.InsertBefore(&d, &b, true), "Assertion failed");

    ztLinkedList<int> values;
    ztLinkedList<int> others;
    values.Add(1);
    others.Add(2);
    others.Add(3);
    EXPECT_DEATH(values.Remove(others.GetLast()), "Assertion failed");
    first.Clear(false);
    second.Clear(false);
}
#endif
