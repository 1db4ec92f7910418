#include "manager/SceneTestSupport.h"

#include "core/GeometryTestSupport.h"

class SceneDiagnosticsTest : public SceneFixture {
protected:
    // The log lines from index from on, code locations left out.
    std::vector<std::string> LinesFrom(size_t from) const
    {
        const std::vector<std::string> all = Lines();
        return {all.begin() + std::ptrdiff_t(std::min(from, all.size())), all.end()};
    }
};

TEST_F(SceneDiagnosticsTest, AuditOfAnEmptySceneHasOnlyItsHeadings)
{
    const size_t from = Lines().size();
    scene->Audit();
    EXPECT_EQ(LinesFrom(from), (std::vector<std::string>{"", "Running scene audit:", "--------------------", "",
                                                         "(1/2) Geometry usage:", "", "",
                                                         "(2/2) Check for duplicate geometries:", "", "",
                                                         "Audit complete.", ""}));
}

TEST_F(SceneDiagnosticsTest, AuditCountsUsersAndReportsDuplicatesBothWays)
{
    zGeometry* shared = zGeometry::New(&core, "crate");
    FillTwoTriangles(*shared);
    zGeometry* unused = zGeometry::New(&core, "spare");
    FillTwoTriangles(*unused);
    zMObject* a = scene->AddObject("a", shared);
    zMObject* b = scene->AddObject("b", shared);
    zMObject* c = scene->AddObject("c", shared);
    a->object.position = {1, 2, 3};
    b->object.position = {1, 2, 3};
    c->object.position = {1, 2, 3.5f};
    const size_t from = Lines().size();
    scene->Audit();
    const std::vector<std::string> lines = LinesFrom(from);
    const std::vector<std::string> usage(lines.begin() + 6, lines.begin() + 11);
    EXPECT_EQ(usage, (std::vector<std::string>{"'crate' used by 3 object(s).", " - Object 'a'", " - Object 'b'",
                                               " - Object 'c'", "'spare' used by 0 object(s)."}));
    EXPECT_EQ(Count("[*] zScene::Audit  - Object 'a' and 'b' might be duplicates."), 1u);
    EXPECT_EQ(Count("[*] zScene::Audit  - Object 'b' and 'a' might be duplicates."), 1u);
    EXPECT_EQ(Count("might be duplicates."), 2u) << "c stands elsewhere";
    EXPECT_EQ(lines[lines.size() - 2], "Audit complete.");
}

TEST_F(SceneDiagnosticsTest, ItemListShowsKindListsGroupsAndLinks)
{
    zGeometry* g = zGeometry::New(&core, "crate");
    FillTwoTriangles(*g);
    scene->AddCamera("eye");
    zMObject* body = scene->AddObject("body", g);
    zMObject* arm = scene->AddObject("arm", g);
    arm->object.SetLink(&body->object);
    scene->AddLight("sun", 1, 0.5f);
    scene->AddTrigger("zone");
    scene->AddGroup("props");
    const size_t from = Lines().size();
    scene->PrintItemList();
    const std::vector<std::string> lines = LinesFrom(from);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find("Dumping scene content"), std::string::npos);
    EXPECT_EQ(lines[0].rfind("[H] ", 0), 0u);
    const std::vector<std::string> rest(lines.begin() + 2, lines.end());
    EXPECT_EQ(rest, (std::vector<std::string>{"Camera list follows (1 entries) :", "  - eye",
                                              "Object list follows (2 entries) :", "  - body", "  - arm",
                                              "Light list follows (1 entries) :", "  - sun",
                                              "Group list follows (1 entries) :", "  - props", "",
                                              "-------------------", "", "-------------------", "",
                                              "Global item list follows (5 entries) :", "  - eye ", "  - body ",
                                              "  - arm (Linked to 'body')", "  - sun ", "  - zone ", ""}));
}
