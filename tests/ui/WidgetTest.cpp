#include "UiTestSupport.h"

#include "framework/system/zLogStream.h"
#include "ui/zCheckWidget.h"
#include "ui/zContainerWidget.h"
#include "ui/zPictureWidget.h"
#include "ui/zScene2D.h"
#include "ui/zSizer.h"
#include "ui/zTextLayout.h"
#include "ui/zTextWidget.h"
#include "ui/zTrueTypeFont.h"
#include "ui/zWindow.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class WidgetTest : public FontSystemTest {
protected:
    void SetUp() override
    {
        FontSystemTest::SetUp();
        scene = std::make_unique<zScene2D>(nullptr, nullptr);
    }
    void TearDown() override
    {
        scene.reset();
        FontSystemTest::TearDown();
    }

    zSpacerWidget* Spacer(float fx, float fy = 1.0f)
    {
        auto* s = new zSpacerWidget(scene.get(), -1);
        s->formattingSize = zFormattingSize{fx, fy};
        return s;
    }

    std::unique_ptr<zScene2D> scene;
};

TEST_F(WidgetTest, HorizontalSizerSharesWidthByFormattingSize)
{
    zHorizontalSizer sizer(scene.get(), 1);
    zSpacerWidget* a = Spacer(1);
    zSpacerWidget* b = Spacer(2);
    sizer.AddWidget(a);
    sizer.AddWidget(b);
    zPicture target = MakeCanvas(320, 100);
    // Margins of 2 leave an inner width of 300.
    sizer.Draw(target, 0, 0, 304, 54);
    EXPECT_EQ(a->rect.x0, 2);
    EXPECT_EQ(a->rect.x1, 102);
    EXPECT_EQ(b->rect.x0, 102);
    EXPECT_EQ(b->rect.x1, 302);
    EXPECT_EQ(a->rect.y0, 2);
    EXPECT_EQ(a->rect.y1, 52);
    EXPECT_EQ(sizer.dirty, 0);
}

TEST_F(WidgetTest, VerticalSizerTruncatesAndLeavesTheLastPixelsEmpty)
{
    zVerticalSizer sizer(scene.get(), 1);
    sizer.SetMargins(0, 0, 0, 0);
    std::vector<zSpacerWidget*> spacers;
    for (int i = 0; i < 3; ++i) {
        spacers.push_back(Spacer(1, 1));
        sizer.AddWidget(spacers.back());
    }
    zPicture target = MakeCanvas(10, 100);
    sizer.Draw(target, 0, 0, 10, 100);
    EXPECT_EQ(spacers[0]->rect.y1, 33);
    EXPECT_EQ(spacers[1]->rect.y1, 66);
    EXPECT_EQ(spacers[2]->rect.y1, 99);
}

TEST_F(WidgetTest, HiddenChildTakesNoShareButCountsInTheNestedSize)
{
    zHorizontalSizer outer(scene.get(), 1);
    outer.SetMargins(0, 0, 0, 0);
    auto* nested = new zHorizontalSizer(scene.get(), 2);
    nested->SetMargins(0, 0, 0, 0);
    zSpacerWidget* hidden = Spacer(1);
    zSpacerWidget* shown = Spacer(1);
    nested->AddWidget(hidden);
    nested->AddWidget(shown);
    hidden->SetHidden(true);
    zSpacerWidget* right = Spacer(2);
    outer.AddWidget(nested);
    outer.AddWidget(right);
    EXPECT_FLOAT_EQ(nested->GetFormattingSize().x, 2.0f);
    zPicture target = MakeCanvas(400, 10);
    outer.Draw(target, 0, 0, 400, 10);
    EXPECT_EQ(nested->rect.x1, 200) << "the nested sizer still weighs 2";
    EXPECT_EQ(shown->rect.x0, 0);
    EXPECT_EQ(shown->rect.x1, 200) << "the visible child takes the whole nested width";
    EXPECT_EQ(right->rect.x0, 200);
}

TEST_F(WidgetTest, ShareOutWithNothingToShareGivesEmptyCells)
{
    zHorizontalSizer sizer(scene.get(), 1);
    zSpacerWidget* a = Spacer(0);
    zSpacerWidget* b = Spacer(0);
    sizer.AddWidget(a);
    sizer.AddWidget(b);
    sizer.drawDelimiter = 1;
    zPicture target = MakeCanvas(100, 20);
    sizer.Draw(target, 0, 0, 100, 20);
    EXPECT_EQ(a->rect.x1 - a->rect.x0, 0);
    EXPECT_EQ(b->rect.x1 - b->rect.x0, 0);
    // Every child hidden: the same.
    zHorizontalSizer allHidden(scene.get(), 2);
    zSpacerWidget* c = Spacer(1);
    allHidden.AddWidget(c);
    c->hidden = 1;
    allHidden.Draw(target, 0, 0, 100, 20);
    EXPECT_EQ(allHidden.dirty, 0);
}

TEST_F(WidgetTest, FormattingSizeOfSizers)
{
    zVerticalSizer column(scene.get(), 1);
    column.AddWidget(Spacer(1, 2));
    column.AddWidget(Spacer(3, 1));
    column.formattingSize = zFormattingSize{2.0f, 0.5f};
    const zFormattingSize c = column.GetFormattingSize();
    EXPECT_FLOAT_EQ(c.x, 6.0f); // widest 3, times 2
    EXPECT_FLOAT_EQ(c.y, 1.5f); // 2 + 1, times 0.5
    zHorizontalSizer row(scene.get(), 2);
    row.AddWidget(Spacer(1, 2));
    row.AddWidget(Spacer(3, 1));
    EXPECT_FLOAT_EQ(row.GetFormattingSize().x, 4.0f);
    EXPECT_FLOAT_EQ(row.GetFormattingSize().y, 2.0f);
    EXPECT_FLOAT_EQ(zSpacerWidget(scene.get(), 3).GetFormattingSize().x, 0.5f);
}

TEST_F(WidgetTest, DelimiterLinesSitBetweenVisibleChildren)
{
    zHorizontalSizer sizer(scene.get(), 1);
    sizer.SetMargins(0, 0, 0, 0);
    sizer.drawDelimiter = 1;
    for (float f : {1.0f, 1.0f, 2.0f})
        sizer.AddWidget(Spacer(f));
    zPicture target = MakeCanvas(40, 6);
    sizer.Draw(target, 0, 0, 40, 6);
    std::vector<int32_t> columns;
    for (int32_t x = 0; x < 40; ++x)
        if (PixelByte(target, x, 3, 3) == 255 && PixelByte(target, x, 3, 0) == 255)
            columns.push_back(x);
    EXPECT_EQ(columns, (std::vector<int32_t>{10, 20}));
}

struct AlignCase {
    const char* name;
    int32_t h, v;
    zPicture::Rect expected;
};

void PrintTo(const AlignCase& c, std::ostream* os)
{
    *os << c.name;
}

class AlignTest : public ::testing::TestWithParam<AlignCase> {};

TEST_P(AlignTest, PlacesContentInTheCell)
{
    const AlignCase& c = GetParam();
    zWidget widget(nullptr, 0);
    widget.hAlign = c.h;
    widget.vAlign = c.v;
    const zPicture::Rect r = widget.AlignRect(zPicture::Rect{0, 0, 10, 6}, zPicture::Rect{100, 200, 131, 221});
    EXPECT_EQ(r.x0, c.expected.x0);
    EXPECT_EQ(r.y0, c.expected.y0);
    EXPECT_EQ(r.x1, c.expected.x1);
    EXPECT_EQ(r.y1, c.expected.y1);
}

const AlignCase AlignCases[] = {
    {"CentreCentre", 3, 3, {110, 207, 120, 213}},
    {"RightBottom", 4, 5, {121, 215, 131, 221}},
    {"FillFill", 6, 6, {100, 200, 131, 221}},
    {"DefaultTopLeft", 0, 0, {100, 200, 110, 206}},
    {"LeftTop", 1, 2, {100, 200, 110, 206}},
    // Codes of the other axis: bottom (5) across aligns left, right (4) down aligns top.
    {"BottomUsedAcross", 5, 4, {100, 200, 110, 206}},
};

INSTANTIATE_TEST_SUITE_P(Widget, AlignTest, ::testing::ValuesIn(AlignCases),
                         [](const ::testing::TestParamInfo<AlignCase>& info) { return info.param.name; });

TEST_F(WidgetTest, ContainerPlacesCellsAndClipsToThePicture)
{
    zContainerWidget container(scene.get(), 1);
    auto* inside = new zCanvasWidget(scene.get(), 2, 4, 4);
    inside->canvas.Fill(1, 0, 0, 1);
    auto* outside = new zCanvasWidget(scene.get(), 3, 8, 8);
    outside->canvas.Fill(0, 1, 0, 1);
    auto* across = new zCanvasWidget(scene.get(), 4, 8, 8);
    across->canvas.Fill(0, 0, 1, 1);
    ASSERT_EQ(container.Add(inside, zPicture::Rect{0, 0, 4, 4}), inside);
    container.Add(outside, zPicture::Rect{500, 500, 508, 508});
    container.Add(across, zPicture::Rect{-6, 10, 2, 18});
    zPicture target = MakeCanvas(16, 20);
    container.Draw(target, 2, 2, 16, 20);
    EXPECT_EQ(inside->rect.x0, 2);
    EXPECT_EQ(PixelByte(target, 2, 2, 2), 255) << "red cell at the container's offset";
    // The cell across the left edge lands at (-4, 12)-(4, 20): only its part
    // inside the picture is written.
    EXPECT_EQ(PixelByte(target, 0, 12, 0), 255);
    EXPECT_EQ(PixelByte(target, 3, 19, 0), 255);
    EXPECT_EQ(PixelByte(target, 4, 12, 0), 0) << "right of the cell";
    EXPECT_EQ(container.FindCell(outside)->x0, 500);
    EXPECT_EQ(container.FindCell(nullptr), nullptr);
}

TEST_F(WidgetTest, ContainerRefusesANullWidget)
{
    zContainerWidget container(scene.get(), 1);
    struct Sink : zLogSink {
        std::string lines;
        void Write(const char* line) override { lines += line; }
    } sink;
    zLogSink* previous = GlobalLog.SetSink(&sink);
    EXPECT_EQ(container.Add(nullptr, zPicture::Rect{0, 0, 1, 1}), nullptr);
    GlobalLog.SetSink(previous);
    EXPECT_NE(sink.lines.find("Cannot create a cell for a NULL widget."), std::string::npos);
    EXPECT_EQ(container.cells.GetCount(), 0);
}

TEST_F(WidgetTest, ATreeCannotHoldItself)
{
    auto* outer = new zVerticalSizer(scene.get(), 1);
    auto* inner = new zHorizontalSizer(scene.get(), 2);
    ASSERT_TRUE(outer->AddWidget(inner));
    EXPECT_FALSE(inner->AddWidget(outer));
    EXPECT_FALSE(outer->AddWidget(outer));
    zContainerWidget* container = new zContainerWidget(scene.get(), 3);
    inner->AddWidget(container);
    EXPECT_EQ(container->Add(outer, zPicture::Rect{0, 0, 1, 1}), nullptr);
    delete outer;
}

TEST_F(WidgetTest, AWidgetMovesBetweenParents)
{
    zHorizontalSizer first(scene.get(), 1);
    zHorizontalSizer second(scene.get(), 2);
    zSpacerWidget* child = Spacer(1);
    first.AddWidget(child);
    second.AddWidget(child);
    EXPECT_EQ(first.GetChildCount(), 0);
    EXPECT_EQ(second.GetChildCount(), 1);
    EXPECT_EQ(child->parent, &second);
    second.AddWidget(child);
    EXPECT_EQ(second.GetChildCount(), 1) << "a child already there stays where it is";
    delete child;
    EXPECT_EQ(second.GetChildCount(), 0) << "a deleted child leaves its sizer";
}

TEST_F(WidgetTest, FindChildIsDepthFirst)
{
    zVerticalSizer root(scene.get(), 1);
    auto* row = new zHorizontalSizer(scene.get(), 2);
    auto* deep = new zSpacerWidget(scene.get(), 7);
    row->AddWidget(deep);
    root.AddWidget(row);
    root.AddWidget(new zSpacerWidget(scene.get(), 7));
    EXPECT_EQ(root.FindChild(7), deep);
    EXPECT_EQ(root.FindChild(1), &root);
    EXPECT_EQ(root.FindChild(99), nullptr);
}

TEST_F(WidgetTest, RegistryFollowsWidgetLifetimes)
{
    const int32_t before = scene->widgetRegistry.GetCount();
    {
        zCheckWidget check(scene.get(), 1, "label");
        EXPECT_EQ(scene->widgetRegistry.GetCount(), before + 3) << "the check, its box and its label";
    }
    EXPECT_EQ(scene->widgetRegistry.GetCount(), before);
}

// Counts its deletions.
class CountedSpacer : public zSpacerWidget {
public:
    CountedSpacer(zScene2D* owner, int32_t id, int& deaths) : zSpacerWidget(owner, id), deaths(deaths) {}
    ~CountedSpacer() override { ++deaths; }
    int& deaths;
};

TEST_F(WidgetTest, SceneDeletesTheLooseWidgetsItOwnsAndNoOthers)
{
    int deaths = 0;
    auto* owned = new CountedSpacer(scene.get(), 1, deaths);
    owned->ownedByScene = 1;
    auto* sizer = new zVerticalSizer(scene.get(), 2);
    sizer->ownedByScene = 1;
    sizer->AddWidget(new CountedSpacer(scene.get(), 3, deaths));
    auto* foreign = new CountedSpacer(scene.get(), 4, deaths);
    zCheckWidget check(scene.get(), 5, "label"); // its parts are registered too
    check.ownedByScene = 0;
    scene.reset();
    EXPECT_EQ(deaths, 2) << "the owned spacer, and the sizer with its child";
    EXPECT_EQ(foreign->scene, nullptr);
    delete foreign;
    EXPECT_EQ(check.box.scene, nullptr);
}

TEST_F(WidgetTest, EmbeddedWidgetsJoinNoTree)
{
    zCheckWidget check(scene.get(), 1, "label");
    zVerticalSizer sizer(scene.get(), 2);
    zContainerWidget container(scene.get(), 3);
    EXPECT_FALSE(sizer.AddWidget(&check.label));
    EXPECT_EQ(container.Add(&check.box, zPicture::Rect{0, 0, 4, 4}), nullptr);
    zWindow window(scene.get(), nullptr, 4, "w");
    window.SetBaseWidget(&check.label);
    EXPECT_EQ(window.rootWidget, nullptr);
    EXPECT_EQ(sizer.GetChildCount(), 0);
}

TEST_F(WidgetTest, ARootJoiningASizerLeavesItsWindow)
{
    zWindow window(scene.get(), nullptr, 1, "w");
    auto* root = new zSpacerWidget(scene.get(), 2);
    window.SetBaseWidget(root);
    zVerticalSizer sizer(scene.get(), 3);
    ASSERT_TRUE(sizer.AddWidget(root));
    EXPECT_EQ(window.rootWidget, nullptr);
    EXPECT_EQ(root->parent, &sizer);
}

TEST_F(WidgetTest, EqualTextParametersDoNotInvalidate)
{
    zTextWidget text(scene.get(), 1, "hello", nullptr, 16);
    zPicture target = MakeCanvas(100, 30);
    text.Draw(target, 0, 0, 100, 30);
    ASSERT_EQ(text.dirty, 0);
    zTextParameters same = text.GetParameters();
    text.SetParameters(same);
    text.SetText("hello");
    text.SetSize(16);
    text.SetColor(1, 1, 1, 1);
    EXPECT_EQ(text.dirty, 0);
    same.tracking = 3;
    text.SetParameters(same);
    EXPECT_EQ(text.dirty, 1);
}

TEST_F(WidgetTest, TextWidgetMeasuresAndDrawsAlignedInItsCell)
{
    zTextWidget text(scene.get(), 1, "Hi", nullptr, 16);
    text.Update();
    const zPicture::Rect measured = text.rect;
    EXPECT_EQ(measured.x1, zTrueTypeFont::TextExtent("Hi", zScene2D::GetDefaultFont()).x1);
    text.parameters.align = zTextParameters::AlignRight;
    text.vAlign = zWidget::AlignTop;
    zPicture target = MakeCanvas(100, 40);
    text.Draw(target, 10, 5, 90, 35);
    EXPECT_EQ(text.rect.x0, 10);
    EXPECT_EQ(text.rect.x1, 90) << "a text fills its cell's width";
    int32_t lastInk = -1;
    for (int32_t x = 0; x < 100; ++x)
        for (int32_t y = 0; y < 40; ++y)
            if (PixelByte(target, x, y, 3) != 0)
                lastInk = std::max(lastInk, x);
    EXPECT_GE(lastInk, 85);
    EXPECT_LT(lastInk, 90);
}

TEST_F(WidgetTest, TextAsHighAsInt32AllowsIsAlignedWithSaturatedEdges)
{
    zTextWidget text(scene.get(), 1, "a\nb\nc\nd\ne", nullptr, 16);
    text.parameters.heading = INT32_MAX; // 2^29 pixels a line: the text measures INT32_MAX high
    const struct {
        int32_t align;
        int32_t y0, y1;
        bool inked;
    } aligns[] = {
        {zWidget::AlignTop, 5, INT32_MAX, true},
        {zWidget::AlignBottom, 35 - INT32_MAX, 35, false},
        // Shifted up by (30 - INT32_MAX) / 2 in 64 bits.
        {zWidget::AlignMiddle, -1073741803, 1073741844, false},
    };
    for (const auto& a : aligns) {
        text.vAlign = a.align;
        zPicture target = MakeCanvas(100, 40);
        text.Draw(target, 10, 5, 90, 35);
        EXPECT_EQ(text.rect.y0, a.y0) << a.align;
        EXPECT_EQ(text.rect.y1, a.y1) << a.align;
        EXPECT_EQ(AlphaAsText(target) != AlphaAsText(MakeCanvas(100, 40)), a.inked) << a.align;
    }
}

TEST_F(WidgetTest, CheckBoxSplitsIntoBoxAndLabel)
{
    zCheckWidget check(scene.get(), 1, "Ok", true);
    ASSERT_NE(check.box.picture, nullptr) << "ui/ui_check_true.tga ships in the data directory";
    EXPECT_EQ(check.box.fileName, "ui/ui_check_true.tga");
    check.label.SetSize(12);
    zPicture target = MakeCanvas(120, 30);
    check.Draw(target, 0, 0, 120, 30);
    const int32_t boxWidth = check.box.picture->width;
    EXPECT_EQ(check.label.rect.x0, 2 + boxWidth * 3 / 2);
    EXPECT_EQ(check.box.rect.x0, 2 + (boxWidth * 3 / 2 - boxWidth) / 2) << "box centred in its part";
    check.SetState(false);
    EXPECT_EQ(check.box.fileName, "ui/ui_check_false.tga");
    EXPECT_EQ(check.dirty, 1);
}

TEST_F(WidgetTest, CheckBoxWithoutPictureGivesTheLabelTheWholeInside)
{
    GlobalSearchPathList.Clear(); // the box pictures cannot be found
    zCheckWidget check(scene.get(), 1, "Ok", true);
    EXPECT_EQ(check.box.picture, nullptr);
    check.label.SetSize(12);
    zPicture target = MakeCanvas(120, 30);
    check.Draw(target, 0, 0, 120, 30);
    EXPECT_EQ(check.label.rect.x0, 2);
    EXPECT_EQ(check.label.rect.x1, 118);
}

TEST_F(WidgetTest, PictureDrawBlendsAlphaOverTheTarget)
{
    zCanvasWidget canvas(scene.get(), 1, 2, 2);
    canvas.canvas.Fill(1, 0, 0, 0.5f);
    zPicture target = MakeCanvas(4, 4);
    target.Fill(0, 0, 1, 1);
    canvas.hAlign = zWidget::AlignLeft;
    canvas.vAlign = zWidget::AlignTop;
    canvas.Draw(target, 1, 1, 4, 4);
    // Half red over opaque blue.
    EXPECT_EQ(PixelByte(target, 1, 1, 3), 255);
    EXPECT_NEAR(PixelByte(target, 1, 1, 2), 127, 2);
    EXPECT_NEAR(PixelByte(target, 1, 1, 0), 128, 2);
    EXPECT_EQ(PixelByte(target, 3, 3, 2), 0) << "outside the picture";
    EXPECT_EQ(canvas.dirty, 0);
    // Clean: a second draw writes nothing.
    zPicture fresh = MakeCanvas(4, 4);
    canvas.Draw(fresh, 1, 1, 4, 4);
    EXPECT_EQ(PixelByte(fresh, 1, 1, 3), 0);
}

TEST_F(WidgetTest, WidgetTreeGolden)
{
    zVerticalSizer root(scene.get(), 1);
    root.drawDelimiter = 1;
    auto* title = new zTextWidget(scene.get(), 2, "UI", nullptr, 12);
    title->parameters.align = zTextParameters::AlignCentre;
    root.AddWidget(title);
    auto* row = new zHorizontalSizer(scene.get(), 3);
    auto* canvas = new zCanvasWidget(scene.get(), 4, 6, 6);
    canvas->canvas.Fill(1, 1, 1, 1);
    row->AddWidget(canvas);
    row->AddWidget(new zCheckWidget(scene.get(), 5, nullptr, true));
    root.AddWidget(row);
    zPicture target = MakeCanvas(48, 40);
    root.Update();
    root.Draw(target, 0, 0, 48, 40);
    ExpectMatchesGolden(AlphaAsText(target), "widget_tree.txt");
}

TEST(UIEventHandlers, EventNumbersOutsideTheTableAreRejected)
{
    struct Counter : zUIEventHandler {
        int calls = 0;
        void Call(int32_t, const zUIEventArgs&) override { ++calls; }
    };
    zUIEventHandlers table;
    auto counter = std::make_shared<Counter>();
    for (int32_t event : {-1, 15, 1000})
        EXPECT_FALSE(table.SetHandler(event, counter)) << event;
    EXPECT_FALSE(table.Call(15, zUIEventArgs{}));
    EXPECT_FALSE(table.HasHandler(-1));
    EXPECT_TRUE(table.SetHandler(14, counter));
    EXPECT_TRUE(table.Call(14, zUIEventArgs{}));
    EXPECT_FALSE(table.Call(13, zUIEventArgs{}));
    EXPECT_EQ(counter->calls, 1);
}

TEST(UIEventHandlers, AHandlerMayRemoveItselfWhileItRuns)
{
    struct SelfRemoving : zUIEventHandler {
        zUIEventHandlers* table = nullptr;
        int calls = 0;
        void Call(int32_t event, const zUIEventArgs&) override
        {
            table->SetHandler(event, nullptr);
            ++calls;
        }
    };
    zUIEventHandlers table;
    auto handler = std::make_shared<SelfRemoving>();
    handler->table = &table;
    table.SetHandler(0, handler);
    std::weak_ptr<SelfRemoving> weak = handler;
    handler.reset();
    EXPECT_TRUE(table.Call(0, zUIEventArgs{}));
    EXPECT_FALSE(table.HasHandler(0));
    EXPECT_TRUE(weak.expired());
}

} // namespace
