// How the operations hand their arguments to GDI+: record arrays through a
// contiguous buffer copied back after the call, texts as UTF-16 with their
// lstrlenW length, floats truncated to integers, and the auxiliary data of an
// applied effect. Stand-ins in the flat functions' cache slots see exactly
// what GDI+ would.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "gdiplus/graphics_object.h"
#include "gdiplus/image_object.h"
#include "gdiplus/last_status.h"
#include "tests/gdiplus/gdiplus_session.h"
#include "tests/gdiplus/gdiplus_test_objects.h"
#include "tests/support/screen_pixels.h"

namespace snipora {
namespace {

using flat::FlatFunction;
using test::ScopedStandIn;

class Marshalling : public ::testing::Test {
 protected:
  test::GdiplusSession gdiplus_;
  GraphicsObject graphics_;  // empty: the stand-ins never look at it
  GdiplusObject pen_, brush_;
};

struct SeenPoints {
  bool called = false;
  const void* buffer = nullptr;
  int count = -1;
  std::vector<PointF> points;
} seenPoints;

GpStatus WINAPI SeeLines(GpGraphics*, GpPen*, PointF* points, INT count) {
  seenPoints = {true, points, count, {}};
  if (points) seenPoints.points.assign(points, points + count);
  return 2;
}

TEST_F(Marshalling, AnArrayReachesGdiplusContiguousAndAnEmptyOneAsNullAndZero) {
  ScopedStandIn lines(FlatFunction::GdipDrawLines, &SeeLines);
  std::vector<PointF> none;
  EXPECT_FALSE(graphics_.GdipDrawLines(pen_, none));
  EXPECT_TRUE(seenPoints.called);
  EXPECT_EQ(seenPoints.buffer, nullptr);
  EXPECT_EQ(seenPoints.count, 0);
  EXPECT_EQ(LastStatus(), 2);

  std::vector<PointF> three{{1, 2}, {3.5f, 4}, {-5, 6}};
  graphics_.GdipDrawLines(pen_, three);
  EXPECT_NE(seenPoints.buffer, three.data());  // a buffer of the layer's own
  EXPECT_EQ(seenPoints.count, 3);
  EXPECT_EQ(seenPoints.points, three);
}

template <class R>
void Shift(R* records, INT count) {
  for (INT i = 0; i < count; ++i) records[i].x += 100;
}
GpStatus WINAPI ShiftRectangles(GpGraphics*, GpPen*, Rect* rects, INT count) {
  Shift(rects, count);
  return 0;
}
GpStatus WINAPI ShiftClosedCurve(GpGraphics*, GpBrush*, PointF* points, INT count, float, INT) {
  Shift(points, count);
  return 0;
}
GpStatus WINAPI ShiftMetafilePoints(GpGraphics*, const GpMetafile*, Point* points, INT count, const Rect*, INT,
                                    EnumerateMetafileProc, void*, const GpImageAttributes*) {
  Shift(points, count);
  return 0;
}

TEST_F(Marshalling, EveryArrayOperationCopiesTheBufferBack) {
  ScopedStandIn rectangles(FlatFunction::GdipDrawRectanglesI, &ShiftRectangles);
  ScopedStandIn curve(FlatFunction::GdipFillClosedCurve2, &ShiftClosedCurve);
  // a stub in Wine: reached through its stand-in only
  ScopedStandIn metafile(FlatFunction::GdipEnumerateMetafileSrcRectDestPointsI, &ShiftMetafilePoints);

  std::vector<Rect> rects{{1, 2, 3, 4}, {5, 6, 7, 8}};
  EXPECT_TRUE(graphics_.GdipDrawRectanglesI(pen_, rects));
  EXPECT_EQ(rects, (std::vector<Rect>{{101, 2, 3, 4}, {105, 6, 7, 8}}));

  std::vector<PointF> points{{0.5f, 1}};
  EXPECT_TRUE(graphics_.GdipFillClosedCurve2(brush_, points, 0.5f, 0));
  EXPECT_EQ(points, (std::vector<PointF>{{100.5f, 1}}));

  GdiplusObject metafileObject;
  std::vector<Point> corners{{1, 1}, {2, 2}, {3, 3}};
  EXPECT_TRUE(graphics_.GdipEnumerateMetafileSrcRectDestPointsI(metafileObject, corners, Rect{}, 2, nullptr,
                                                                nullptr, nullptr));
  EXPECT_EQ(corners, (std::vector<Point>{{101, 1}, {102, 2}, {103, 3}}));
}

TEST_F(Marshalling, TransformPointsWritesTheTransformedCoordinatesBack) {
  test::DibCanvas canvas(10, 10);
  GraphicsObject graphics;
  ASSERT_TRUE(graphics.GdipCreateFromHDC(canvas.dc()));
  ASSERT_TRUE(graphics.GdipTranslateWorldTransform(10, 20, 0));
  constexpr INT kWorld = 0, kDevice = 2;
  std::vector<PointF> points{{1, 2}, {-3, 0.5f}};
  EXPECT_TRUE(graphics.GdipTransformPoints(kDevice, kWorld, points));
  EXPECT_EQ(points, (std::vector<PointF>{{11, 22}, {7, 20.5f}}));
  std::vector<Point> whole{{0, 0}};
  EXPECT_TRUE(graphics.GdipTransformPointsI(kDevice, kWorld, whole));
  EXPECT_EQ(whole, (std::vector<Point>{{10, 20}}));
}

struct SeenText {
  std::wstring text;
  int length = -1;
  bool terminated = false;
} seenText;

GpStatus WINAPI SeeString(GpGraphics*, const wchar_t* text, INT length, const GpFont*, const RectF*,
                          const GpStringFormat*, const GpBrush*) {
  seenText = {std::wstring(text, std::size_t(std::max(length, 0))), length, text[std::max(length, 0)] == L'\0'};
  return 0;
}

TEST_F(Marshalling, AGbkTextReachesGdiplusAsUtf16WithItsLength) {
  ScopedStandIn draw(FlatFunction::GdipDrawString, &SeeString);
  GdiplusObject font;
  graphics_.GdipDrawString("缩短ab", font, RectF{}, nullptr, brush_);
  EXPECT_EQ(seenText.text, L"\u7F29\u77EDab");
  EXPECT_EQ(seenText.length, 4);
  EXPECT_TRUE(seenText.terminated);

  graphics_.GdipDrawString("", font, RectF{}, nullptr, brush_);
  EXPECT_EQ(seenText.length, 0);
  EXPECT_TRUE(seenText.terminated);
}

TEST_F(Marshalling, GdiplusMeasuresAChineseTextByItsCharacters) {
  test::DibCanvas canvas(200, 40);
  GraphicsObject graphics;
  ASSERT_TRUE(graphics.GdipCreateFromHDC(canvas.dc()));
  test::TestFont font(12);
  ASSERT_NE(font.GetNative(), nullptr);
  auto measure = [&](const char* text) {
    RectF box{};
    INT fitted = -1, lines = -1;
    EXPECT_TRUE(graphics.GdipMeasureString(text, font, RectF{0, 0, 1000, 100}, nullptr, box, fitted, lines));
    EXPECT_EQ(lines, 1);
    return fitted;
  };
  EXPECT_EQ(measure("abc"), 3);
  EXPECT_EQ(measure("复制abc"), 5);  // 7 bytes, 5 characters
}

struct {
  INT x = -1, y = -1;
} seenCached;
GpStatus WINAPI SeeCachedBitmap(GpGraphics*, GpCachedBitmap*, INT x, INT y) {
  seenCached = {x, y};
  return 0;
}

TEST_F(Marshalling, ACachedBitmapIsDrawnAtItsCoordinatesTruncatedTowardZero) {
  ScopedStandIn draw(FlatFunction::GdipDrawCachedBitmap, &SeeCachedBitmap);
  GdiplusObject cached;
  graphics_.GdipDrawCachedBitmap(cached, 2.9f, -2.9f);
  EXPECT_EQ(seenCached.x, 2);
  EXPECT_EQ(seenCached.y, -2);
  // beyond the integers: saturated, NaN as 0, never undefined
  graphics_.GdipDrawCachedBitmap(cached, std::numeric_limits<float>::quiet_NaN(), 1e20f);
  EXPECT_EQ(seenCached.x, 0);
  EXPECT_EQ(seenCached.y, INT32_MAX);
}

struct {
  const RECT* area = nullptr;
  BOOL wantsAuxData = FALSE;
} seenEffect;
std::vector<void*> freed;
GpStatus WINAPI ApplyWithAuxData(GpBitmap*, CGpEffect*, RECT* area, BOOL useAuxData, void** auxData, INT* size) {
  seenEffect = {area, useAuxData};
  *auxData = test::RealGdiplus<void*(WINAPI*)(size_t)>("GdipAlloc")(16);
  *size = 16;
  return 0;
}
void WINAPI NoteFree(void* pointer) {
  freed.push_back(pointer);
  test::RealGdiplus<void(WINAPI*)(void*)>("GdipFree")(pointer);
}

TEST_F(Marshalling, AnAppliedEffectKeepsItsAuxiliaryDataUntilTheNextApplication) {
  ScopedStandIn apply(FlatFunction::GdipBitmapApplyEffect, &ApplyWithAuxData);
  ScopedStandIn release(FlatFunction::GdipFree, &NoteFree);
  freed.clear();
  ImageObject bitmap;
  {
    EffectObject effect;
    EXPECT_TRUE(bitmap.GdipBitmapApplyEffect(effect));
    EXPECT_EQ(seenEffect.area, nullptr);  // the whole bitmap
    EXPECT_TRUE(seenEffect.wantsAuxData);
    void* first = effect.auxData();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(effect.auxDataSize(), 16);

    const RECT area{1, 2, 3, 4};
    EXPECT_TRUE(bitmap.GdipBitmapApplyEffect(effect, &area));
    ASSERT_NE(seenEffect.area, nullptr);
    EXPECT_EQ(freed, std::vector<void*>{first});
    EXPECT_NE(effect.auxData(), nullptr);
  }
  EXPECT_EQ(freed.size(), 2u);  // the effect object frees what it kept
}

}  // namespace
}  // namespace snipora
