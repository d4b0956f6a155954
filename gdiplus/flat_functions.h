#pragma once
// The GDI+ object layer's late-bound functions: GDI+'s flat interface, one
// line each, bound at the first call through the runtime's late-binding
// machinery, and called as snipora::flat::Name(args...). A GDI+ function's
// export is its name; the library is written as each declaration writes it.
//
// A GDI+ line is X(shape, name, library, (arguments)). It declares both the
// binding and the object operation of the same name, so the arguments say
// how the operation passes each one (see object_operations.h):
//   In(T)      passed as it is            Ref(T)     a record, by its address
//   Mut(T)     written back through T&    Io(T)      passed in, answered back
//   Obj(T)     a wrapper object's handle  OptObj(T)  the same, or none (null)
//   DefObj(T)  OptObj, absent by default  Null(T)    always null
//   Opt(T, v)  may be omitted: v          Out(T)     the value a getter answers
//   Array(R)   point or rectangle records, as a buffer and a count
//   Points3(R) a parallelogram's three corners, as six coordinates
//   Text       a text, as UTF-16 and its length    Name  the same, no length
// Shapes: Act answers true on Ok; Get answers its Out; Make is a factory of
// the object itself (its handle field is the last, output argument); Hand is
// written out in the object's source, its arguments being exactly the flat
// ones; Extra is an operation without a flat function of its own.
#include <windows.h>

#include <objidl.h>

#include "gdiplus/gdiplus_records.h"
#include "gdiplus/preprocessor.h"
#include "runtime/external_call.h"
#include "runtime/gdiplus_handles.h"

// Functions with a plain signature: X(name used in the code, library,
// export, signature).
#define SNIPORA_GDIPLUS_PLAIN_FUNCTIONS(X)                                                                  \
  X(GdipAlloc, "gdiplus", "GdipAlloc", void*(size_t))                                                       \
  X(GdipFree, "gdiplus", "GdipFree", void(void*))                                                           \
  X(GdipGetImageEncodersSize, "gdiplus.dll", "GdipGetImageEncodersSize", GpStatus(UINT*, UINT*))            \
  X(GdipGetImageEncoders, "gdiplus.dll", "GdipGetImageEncoders", GpStatus(UINT, UINT, void*))               \
  X(StringFromGUID2, "Ole32.dll", "StringFromGUID2", int(const GUID*, wchar_t*, int))                       \
  X(WideCharToMultiByte, "kernel32.dll", "WideCharToMultiByte",                                             \
    int(UINT, DWORD, const wchar_t*, int, char*, int, const char*, BOOL*))                                  \
  X(lstrlenW, "kernel32.dll", "lstrlenW", int(const wchar_t*))                                              \
  /* the headers make RtlMoveMemory a macro */                                                              \
  X(MoveMemoryBlock, "kernel32.dll", "RtlMoveMemory", void(void*, const void*, SIZE_T))

// GraphicsObject, in the order of its operations.
#define SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(X)                                                               \
  /* create and delete */                                                                                   \
  X(Hand, GdipDeleteGraphics, "gdiplus.dll", (In(GpGraphics*)))                                             \
  X(Make, GdipCreateFromHWND, "gdiplus.dll", (In(HWND)))                                                    \
  X(Make, GdipCreateFromHWNDICM, "gdiplus.dll", (In(HWND)))                                                 \
  X(Make, GdipCreateFromHDC, "gdiplus.dll", (In(HDC)))                                                      \
  X(Make, GdipCreateFromHDC2, "gdiplus.dll", (In(HDC), Opt(HANDLE, nullptr)))                               \
  X(Make, GdipGetImageGraphicsContext, "gdiplus.dll", (Obj(GpImage*)))                                      \
  X(Get, GdipGetDC, "gdiplus.dll", (Out(HDC)))                                                              \
  X(Act, GdipReleaseDC, "gdiplus.dll", (In(HDC)))                                                           \
  /* rendering state */                                                                                     \
  X(Get, GdipGetCompositingMode, "GdiPlus.dll", (Out(INT)))                                                 \
  X(Act, GdipSetCompositingMode, "GdiPlus.dll", (In(INT)))                                                  \
  X(Act, GdipGetRenderingOrigin, "GdiPlus.dll", (Mut(INT), Mut(INT)))                                       \
  X(Act, GdipSetRenderingOrigin, "GdiPlus.dll", (In(INT), In(INT)))                                         \
  X(Get, GdipGetCompositingQuality, "GdiPlus.dll", (Out(INT)))                                              \
  X(Act, GdipSetCompositingQuality, "GdiPlus.dll", (In(INT)))                                               \
  X(Act, GdipSetSmoothingMode, "GdiPlus.dll", (In(INT)))                                                    \
  X(Get, GdipGetSmoothingMode, "GdiPlus.dll", (Out(INT)))                                                   \
  X(Act, GdipSetTextRenderingHint, "GdiPlus.dll", (In(INT)))                                                \
  X(Get, GdipGetTextRenderingHint, "GdiPlus.dll", (Out(INT)))                                               \
  X(Act, GdipSetInterpolationMode, "GdiPlus.dll", (In(INT)))                                                \
  X(Get, GdipGetInterpolationMode, "GdiPlus.dll", (Out(INT)))                                               \
  X(Act, GdipSetPixelOffsetMode, "GdiPlus.dll", (In(INT)))                                                  \
  X(Get, GdipGetPixelOffsetMode, "GdiPlus.dll", (Out(INT)))                                                 \
  /* coordinates */                                                                                         \
  X(Act, GdipSetWorldTransform, "gdiplus", (Obj(GpMatrix*)))                                                \
  X(Act, GdipGetWorldTransform, "gdiplus", (Obj(GpMatrix*)))                                                \
  X(Act, GdipResetWorldTransform, "gdiplus", ())                                                            \
  X(Act, GdipMultiplyWorldTransform, "gdiplus", (Obj(GpMatrix*), In(INT)))                                  \
  X(Act, GdipTranslateWorldTransform, "gdiplus", (In(float), In(float), In(INT)))                           \
  X(Act, GdipScaleWorldTransform, "gdiplus", (In(float), In(float), In(INT)))                               \
  X(Act, GdipRotateWorldTransform, "gdiplus", (In(float), In(INT)))                                         \
  X(Act, GdipSetPageUnit, "gdiplus", (In(INT)))                                                             \
  X(Get, GdipGetPageUnit, "gdiplus", (Out(INT)))                                                            \
  X(Act, GdipSetPageScale, "gdiplus", (In(float)))                                                          \
  X(Get, GdipGetPageScale, "gdiplus", (Out(float)))                                                         \
  X(Get, GdipGetDpiX, "gdiplus", (Out(float)))                                                              \
  X(Get, GdipGetDpiY, "gdiplus", (Out(float)))                                                              \
  X(Act, GdipTransformPoints, "gdiplus", (In(INT), In(INT), Array(PointF)))                                 \
  X(Act, GdipTransformPointsI, "gdiplus", (In(INT), In(INT), Array(Point)))                                 \
  X(Get, GdipGetNearestColor, "gdiplus", (Io(ARGB)))                                                        \
  /* outlines */                                                                                            \
  X(Act, GdipDrawLine, "gdiplus.dll", (Obj(GpPen*), In(float), In(float), In(float), In(float)))            \
  X(Act, GdipDrawLineI, "gdiplus.dll", (Obj(GpPen*), In(INT), In(INT), In(INT), In(INT)))                   \
  X(Act, GdipDrawLines, "gdiplus.dll", (Obj(GpPen*), Array(PointF)))                                        \
  X(Act, GdipDrawLinesI, "gdiplus.dll", (Obj(GpPen*), Array(Point)))                                        \
  X(Act, GdipDrawArc, "gdiplus.dll",                                                                        \
    (Obj(GpPen*), In(float), In(float), In(float), In(float), In(float), In(float)))                        \
  X(Act, GdipDrawArcI, "gdiplus.dll", (Obj(GpPen*), In(INT), In(INT), In(INT), In(INT), In(float), In(float))) \
  X(Act, GdipDrawBezier, "gdiplus.dll",                                                                     \
    (Obj(GpPen*), In(float), In(float), In(float), In(float), In(float), In(float), In(float), In(float)))  \
  X(Act, GdipDrawBezierI, "gdiplus.dll",                                                                    \
    (Obj(GpPen*), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT)))                  \
  X(Act, GdipDrawBeziers, "gdiplus.dll", (Obj(GpPen*), Array(PointF)))                                      \
  X(Act, GdipDrawBeziersI, "gdiplus.dll", (Obj(GpPen*), Array(Point)))                                      \
  X(Act, GdipDrawRectangle, "gdiplus.dll", (Obj(GpPen*), In(float), In(float), In(float), In(float)))       \
  X(Act, GdipDrawRectangleI, "gdiplus.dll", (Obj(GpPen*), In(INT), In(INT), In(INT), In(INT)))              \
  X(Act, GdipDrawRectangles, "gdiplus.dll", (Obj(GpPen*), Array(RectF)))                                    \
  X(Act, GdipDrawRectanglesI, "gdiplus.dll", (Obj(GpPen*), Array(Rect)))                                    \
  X(Act, GdipDrawEllipse, "gdiplus.dll", (Obj(GpPen*), In(float), In(float), In(float), In(float)))         \
  X(Act, GdipDrawEllipseI, "gdiplus.dll", (Obj(GpPen*), In(INT), In(INT), In(INT), In(INT)))                \
  X(Act, GdipDrawPie, "gdiplus.dll",                                                                        \
    (Obj(GpPen*), In(float), In(float), In(float), In(float), In(float), In(float)))                        \
  X(Act, GdipDrawPieI, "gdiplus.dll", (Obj(GpPen*), In(INT), In(INT), In(INT), In(INT), In(float), In(float))) \
  X(Act, GdipDrawPolygon, "gdiplus.dll", (Obj(GpPen*), Array(PointF)))                                      \
  X(Act, GdipDrawPolygonI, "gdiplus.dll", (Obj(GpPen*), Array(Point)))                                      \
  X(Act, GdipDrawPath, "gdiplus.dll", (Obj(GpPen*), Obj(GpPath*)))                                          \
  X(Act, GdipDrawCurve, "gdiplus.dll", (Obj(GpPen*), Array(PointF)))                                        \
  X(Act, GdipDrawCurveI, "gdiplus.dll", (Obj(GpPen*), Array(Point)))                                        \
  X(Act, GdipDrawCurve2, "gdiplus.dll", (Obj(GpPen*), Array(PointF), In(float)))                            \
  X(Act, GdipDrawCurve2I, "gdiplus.dll", (Obj(GpPen*), Array(Point), In(float)))                            \
  X(Act, GdipDrawCurve3, "gdiplus.dll", (Obj(GpPen*), Array(PointF), In(INT), In(INT), In(float)))          \
  X(Act, GdipDrawCurve3I, "gdiplus.dll", (Obj(GpPen*), Array(Point), In(INT), In(INT), In(float)))          \
  X(Act, GdipDrawClosedCurve, "gdiplus.dll", (Obj(GpPen*), Array(PointF)))                                  \
  X(Act, GdipDrawClosedCurveI, "gdiplus.dll", (Obj(GpPen*), Array(Point)))                                  \
  X(Act, GdipDrawClosedCurve2, "gdiplus.dll", (Obj(GpPen*), Array(PointF), In(float)))                      \
  X(Act, GdipDrawClosedCurve2I, "gdiplus.dll", (Obj(GpPen*), Array(Point), In(float)))                      \
  /* fills */                                                                                               \
  X(Act, GdipGraphicsClear, "Gdiplus.dll", (Opt(ARGB, 0xFFFFFFFF)))                                         \
  X(Hand, GdipFillRectangle, "Gdiplus.dll", (In(GpGraphics*), In(GpBrush*), In(float), In(float), In(float), In(float))) \
  X(Act, GdipFillRectangleI, "Gdiplus.dll", (Obj(GpBrush*), In(INT), In(INT), In(INT), In(INT)))            \
  X(Act, GdipFillRectangles, "Gdiplus.dll", (Obj(GpBrush*), Array(RectF)))                                  \
  X(Act, GdipFillRectanglesI, "Gdiplus.dll", (Obj(GpBrush*), Array(Rect)))                                  \
  X(Act, GdipFillPolygon, "Gdiplus.dll", (Obj(GpBrush*), Array(PointF), In(INT)))                           \
  X(Act, GdipFillPolygonI, "Gdiplus.dll", (Obj(GpBrush*), Array(Point), In(INT)))                           \
  X(Act, GdipFillEllipse, "Gdiplus.dll", (Obj(GpBrush*), In(float), In(float), In(float), In(float)))       \
  X(Act, GdipFillEllipseI, "Gdiplus.dll", (Obj(GpBrush*), In(INT), In(INT), In(INT), In(INT)))              \
  X(Act, GdipFillPie, "Gdiplus.dll",                                                                        \
    (Obj(GpBrush*), In(float), In(float), In(float), In(float), In(float), In(float)))                      \
  X(Act, GdipFillPieI, "Gdiplus.dll", (Obj(GpBrush*), In(INT), In(INT), In(INT), In(INT), In(float), In(float))) \
  X(Act, GdipFillPath, "Gdiplus.dll", (Obj(GpBrush*), Obj(GpPath*)))                                        \
  X(Act, GdipFillClosedCurve, "Gdiplus.dll", (Obj(GpBrush*), Array(PointF)))                                \
  X(Act, GdipFillClosedCurveI, "Gdiplus.dll", (Obj(GpBrush*), Array(Point)))                                \
  X(Act, GdipFillClosedCurve2, "Gdiplus.dll", (Obj(GpBrush*), Array(PointF), In(float), In(INT)))           \
  X(Act, GdipFillClosedCurve2I, "Gdiplus.dll", (Obj(GpBrush*), Array(Point), In(float), In(INT)))           \
  X(Act, GdipFillRegion, "Gdiplus.dll", (Obj(GpBrush*), Obj(GpRegion*)))                                    \
  /* text */                                                                                                \
  X(Act, GdipDrawString, "gdiplus.dll",                                                                     \
    (Text, Obj(const GpFont*), Ref(RectF), OptObj(const GpStringFormat*), Obj(const GpBrush*)))             \
  X(Act, GdipMeasureString, "gdiplus.dll",                                                                  \
    (Text, Obj(const GpFont*), Ref(RectF), OptObj(const GpStringFormat*), Mut(RectF), Mut(INT), Mut(INT)))  \
  X(Hand, GdipMeasureCharacterRanges, "gdiplus.dll",                                                        \
    (In(GpGraphics*), In(const wchar_t*), In(INT), In(const GpFont*), In(const RectF*),                     \
     In(const GpStringFormat*), In(INT), In(GpRegion**)))                                                   \
  X(Hand, GdipDrawDriverString, "gdiplus.dll",                                                              \
    (In(GpGraphics*), In(const UINT16*), In(INT), In(const GpFont*), In(const GpBrush*), In(const PointF*), \
     In(INT), In(const GpMatrix*)))                                                                         \
  X(Act, GdipSetTextContrast, "gdiplus.dll", (In(UINT)))                                                    \
  X(Get, GdipGetTextContrast, "gdiplus.dll", (Out(UINT)))                                                   \
  /* images */                                                                                              \
  X(Act, GdipDrawImage, "gdiplus", (Obj(GpImage*), In(float), In(float)))                                   \
  X(Act, GdipDrawImageI, "gdiplus", (Obj(GpImage*), In(INT), In(INT)))                                      \
  X(Hand, GdipDrawCachedBitmap, "gdiplus", (In(GpGraphics*), In(GpCachedBitmap*), In(INT), In(INT)))        \
  X(Hand, GdipDrawImageRectRect, "gdiplus",                                                                 \
    (In(GpGraphics*), In(GpImage*), In(float), In(float), In(float), In(float), In(float), In(float),       \
     In(float), In(float), In(INT), In(const GpImageAttributes*), In(DrawImageAbort), In(void*)))           \
  X(Hand, GdipDrawImageRectRectI, "gdiplus",                                                                \
    (In(GpGraphics*), In(GpImage*), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT), \
     In(INT), In(const GpImageAttributes*), In(DrawImageAbort), In(void*)))                                 \
  X(Act, GdipDrawImagePoints, "gdiplus", (Obj(GpImage*), Points3(PointF)))                                  \
  X(Act, GdipDrawImagePointsI, "gdiplus", (Obj(GpImage*), Points3(Point)))                                  \
  X(Act, GdipDrawImagePointRect, "gdiplus",                                                                 \
    (Obj(GpImage*), In(float), In(float), In(float), In(float), In(float), In(float), Opt(INT, kUnitPixel))) \
  X(Act, GdipDrawImagePointRectI, "gdiplus",                                                                \
    (Obj(GpImage*), In(INT), In(INT), In(INT), In(INT), In(INT), In(INT), Opt(INT, kUnitPixel)))            \
  X(Act, GdipDrawImagePointsRect, "gdiplus",                                                                \
    (Obj(GpImage*), Points3(PointF), In(float), In(float), In(float), In(float), Opt(INT, kUnitPixel),      \
     DefObj(const GpImageAttributes*), Null(DrawImageAbort), Null(void*)))                                  \
  X(Act, GdipDrawImagePointsRectI, "gdiplus",                                                               \
    (Obj(GpImage*), Points3(Point), In(INT), In(INT), In(INT), In(INT), Opt(INT, kUnitPixel),               \
     DefObj(const GpImageAttributes*), Null(DrawImageAbort), Null(void*)))                                  \
  /* metafiles */                                                                                           \
  X(Act, GdipEnumerateMetafileDestPoint, "GdiPlus.dll",                                                     \
    (Obj(const GpMetafile*), Ref(PointF), In(EnumerateMetafileProc), In(void*), OptObj(const GpImageAttributes*))) \
  X(Act, GdipEnumerateMetafileDestPointI, "GdiPlus.dll",                                                    \
    (Obj(const GpMetafile*), Ref(Point), In(EnumerateMetafileProc), In(void*), OptObj(const GpImageAttributes*))) \
  X(Act, GdipEnumerateMetafileDestPoints, "GdiPlus.dll",                                                    \
    (Obj(const GpMetafile*), Array(PointF), In(EnumerateMetafileProc), In(void*),                           \
     OptObj(const GpImageAttributes*)))                                                                     \
  X(Act, GdipEnumerateMetafileDestPointsI, "GdiPlus.dll",                                                   \
    (Obj(const GpMetafile*), Array(Point), In(EnumerateMetafileProc), In(void*), OptObj(const GpImageAttributes*))) \
  X(Act, GdipEnumerateMetafileDestRect, "GdiPlus.dll",                                                      \
    (Obj(const GpMetafile*), Ref(RectF), In(EnumerateMetafileProc), In(void*), OptObj(const GpImageAttributes*))) \
  X(Act, GdipEnumerateMetafileDestRectI, "GdiPlus.dll",                                                     \
    (Obj(const GpMetafile*), Ref(Rect), In(EnumerateMetafileProc), In(void*), OptObj(const GpImageAttributes*))) \
  X(Act, GdipEnumerateMetafileSrcRectDestPoint, "GdiPlus.dll",                                              \
    (Obj(const GpMetafile*), Ref(PointF), Ref(RectF), In(INT), In(EnumerateMetafileProc), In(void*),        \
     OptObj(const GpImageAttributes*)))                                                                     \
  X(Act, GdipEnumerateMetafileSrcRectDestPointI, "GdiPlus.dll",                                             \
    (Obj(const GpMetafile*), Ref(Point), Ref(Rect), In(INT), In(EnumerateMetafileProc), In(void*),          \
     OptObj(const GpImageAttributes*)))                                                                     \
  X(Act, GdipEnumerateMetafileSrcRectDestPoints, "GdiPlus.dll",                                             \
    (Obj(const GpMetafile*), Array(PointF), Ref(RectF), In(INT), In(EnumerateMetafileProc), In(void*),      \
     OptObj(const GpImageAttributes*)))                                                                     \
  X(Act, GdipEnumerateMetafileSrcRectDestPointsI, "GdiPlus.dll",                                            \
    (Obj(const GpMetafile*), Array(Point), Ref(Rect), In(INT), In(EnumerateMetafileProc), In(void*),        \
     OptObj(const GpImageAttributes*)))                                                                     \
  X(Act, GdipEnumerateMetafileSrcRectDestRect, "GdiPlus.dll",                                               \
    (Obj(const GpMetafile*), Ref(RectF), Ref(RectF), In(INT), In(EnumerateMetafileProc), In(void*),         \
     OptObj(const GpImageAttributes*)))                                                                     \
  X(Act, GdipEnumerateMetafileSrcRectDestRectI, "GdiPlus.dll",                                              \
    (Obj(const GpMetafile*), Ref(Rect), Ref(Rect), In(INT), In(EnumerateMetafileProc), In(void*),           \
     OptObj(const GpImageAttributes*)))                                                                     \
  /* clipping */                                                                                            \
  X(Act, GdipSetClipGraphics, "gdiplus", (Obj(GpGraphics*), In(INT)))                                       \
  X(Act, GdipSetClipPath, "gdiplus", (Obj(GpPath*), In(INT)))                                               \
  X(Act, GdipSetClipRect, "gdiplus", (In(float), In(float), In(float), In(float), In(INT)))                 \
  X(Act, GdipSetClipRectI, "gdiplus", (In(INT), In(INT), In(INT), In(INT), In(INT)))                        \
  X(Act, GdipSetClipRegion, "gdiplus", (Obj(GpRegion*), In(INT)))                                           \
  X(Act, GdipSetClipHrgn, "gdiplus", (In(HRGN), In(INT)))                                                   \
  X(Act, GdipResetClip, "gdiplus", ())                                                                      \
  X(Act, GdipTranslateClip, "gdiplus", (In(float), In(float)))                                              \
  X(Act, GdipTranslateClipI, "gdiplus", (In(INT), In(INT)))                                                 \
  X(Act, GdipGetClip, "gdiplus", (Obj(GpRegion*)))                                                          \
  X(Get, GdipGetClipBounds, "gdiplus", (Out(RectF)))                                                        \
  X(Get, GdipGetClipBoundsI, "gdiplus", (Out(Rect)))                                                        \
  X(Get, GdipGetVisibleClipBounds, "gdiplus", (Out(RectF)))                                                 \
  X(Get, GdipGetVisibleClipBoundsI, "gdiplus", (Out(Rect)))                                                 \
  X(Get, GdipIsClipEmpty, "gdiplus", (Out(BOOL)))                                                           \
  X(Get, GdipIsVisibleClipEmpty, "gdiplus", (Out(BOOL)))                                                    \
  X(Get, GdipIsVisiblePoint, "gdiplus", (In(float), In(float), Out(BOOL)))                                  \
  X(Get, GdipIsVisiblePointI, "gdiplus", (In(INT), In(INT), Out(BOOL)))                                     \
  X(Get, GdipIsVisibleRect, "gdiplus", (In(float), In(float), In(float), In(float), Out(BOOL)))             \
  X(Get, GdipIsVisibleRectI, "gdiplus", (In(INT), In(INT), In(INT), In(INT), Out(BOOL)))                    \
  /* state */                                                                                               \
  X(Get, GdipSaveGraphics, "GdiPlus.dll", (Out(GraphicsState)))                                             \
  X(Act, GdipRestoreGraphics, "GdiPlus.dll", (In(GraphicsState)))                                           \
  X(Get, GdipBeginContainer, "GdiPlus.dll", (Ref(RectF), Ref(RectF), In(INT), Out(GraphicsContainer)))      \
  X(Get, GdipBeginContainerI, "GdiPlus.dll", (Ref(Rect), Ref(Rect), In(INT), Out(GraphicsContainer)))       \
  X(Get, GdipBeginContainer2, "GdiPlus.dll", (Out(GraphicsContainer)))                                      \
  X(Act, GdipEndContainer, "GdiPlus.dll", (In(GraphicsContainer)))                                          \
  X(Act, GdipComment, "GdiPlus.dll", (In(UINT), In(const BYTE*)))

// ImageObject, in the order of its operations.
#define SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(X)                                                                  \
  /* create, dispose, save */                                                                               \
  X(Hand, GdipDisposeImage, "GdiPlus.dll", (In(GpImage*)))                                                  \
  X(Make, GdipCreateBitmapFromFile, "GdiPlus.dll", (Name))                                                  \
  X(Make, GdipCreateBitmapFromFileICM, "GdiPlus.dll", (Name))                                               \
  X(Hand, GdipCreateBitmapFromStream, "GdiPlus.dll", (In(IStream*), In(GpBitmap**)))                        \
  X(Hand, GdipCreateBitmapFromStreamICM, "GdiPlus.dll", (In(IStream*), In(GpBitmap**)))                     \
  X(Hand, GdipCloneImage, "GdiPlus.dll", (In(GpImage*), In(GpImage**)))                                     \
  X(Hand, GdipSaveImageToFile, "GdiPlus.dll", (In(GpImage*), In(const wchar_t*), In(const CLSID*), In(const void*))) \
  X(Hand, GdipSaveImageToStream, "GdiPlus.dll", (In(GpImage*), In(IStream*), In(const CLSID*), In(const void*))) \
  X(Hand, GdipSaveAdd, "GdiPlus.dll", (In(GpImage*), In(const void*)))                                      \
  X(Hand, GdipSaveAddImage, "GdiPlus.dll", (In(GpImage*), In(GpImage*), In(const void*)))                   \
  X(Hand, GdipGetEncoderParameterListSize, "GdiPlus.dll", (In(GpImage*), In(const CLSID*), In(UINT*)))      \
  X(Hand, GdipGetEncoderParameterList, "GdiPlus.dll", (In(GpImage*), In(const CLSID*), In(UINT), In(void*))) \
  /* description */                                                                                         \
  X(Hand, GdipGetImageRawFormat, "gdiplus", (In(GpImage*), In(GUID*)))                                      \
  X(Get, GdipGetImageBounds, "gdiplus", (Out(RectF), Mut(INT)))                                             \
  X(Act, GdipGetImageDimension, "gdiplus", (Mut(float), Mut(float)))                                        \
  X(Get, GdipGetImageType, "gdiplus", (Out(INT)))                                                           \
  X(Get, GdipGetImageWidth, "gdiplus", (Out(UINT)))                                                         \
  X(Get, GdipGetImageHeight, "gdiplus", (Out(UINT)))                                                        \
  X(Get, GdipGetImageHorizontalResolution, "gdiplus", (Out(float)))                                         \
  X(Get, GdipGetImageVerticalResolution, "gdiplus", (Out(float)))                                           \
  X(Get, GdipGetImageFlags, "gdiplus", (Out(UINT)))                                                         \
  X(Get, GdipGetImagePixelFormat, "gdiplus", (Out(INT)))                                                    \
  X(Hand, GdipGetImageThumbnail, "gdiplus",                                                                 \
    (In(GpImage*), In(UINT), In(UINT), In(GpImage**), In(GetThumbnailImageAbort), In(void*)))               \
  /* frames */                                                                                              \
  X(Get, GdipImageGetFrameCount, "Gdiplus.dll", (Ref(GUID), Out(UINT)))                                     \
  X(Get, GdipImageGetFrameDimensionsCount, "Gdiplus.dll", (Out(UINT)))                                      \
  X(Act, GdipImageGetFrameDimensionsList, "Gdiplus.dll", (In(GUID*), In(UINT)))                             \
  X(Act, GdipImageSelectActiveFrame, "Gdiplus.dll", (Ref(GUID), In(UINT)))                                  \
  X(Extra, GetFrameDelays, "", ())                                                                          \
  /* properties and palette */                                                                              \
  X(Get, GdipGetPropertyItemSize, "Gdiplus.dll", (In(PROPID), Out(UINT)))                                   \
  X(Act, GdipGetPropertyItem, "Gdiplus.dll", (In(PROPID), In(UINT), In(PropertyItem*)))                     \
  X(Act, GdipSetPropertyItem, "Gdiplus.dll", (Ref(PropertyItem)))                                           \
  X(Act, GdipRemovePropertyItem, "Gdiplus.dll", (In(PROPID)))                                               \
  X(Get, GdipGetPropertyCount, "Gdiplus.dll", (Out(UINT)))                                                  \
  X(Act, GdipGetPropertyIdList, "Gdiplus.dll", (In(UINT), In(PROPID*)))                                     \
  X(Act, GdipImageRotateFlip, "Gdiplus.dll", (In(INT)))                                                     \
  X(Get, GdipGetImagePaletteSize, "Gdiplus.dll", (Out(INT)))                                                \
  X(Act, GdipGetImagePalette, "Gdiplus.dll", (In(ColorPalette*), In(INT)))                                  \
  X(Act, GdipSetImagePalette, "Gdiplus.dll", (In(const ColorPalette*)))                                     \
  /* bitmaps: create and convert */                                                                         \
  X(Hand, GdipCreateBitmapFromScan0, "gdiplus.dll", (In(INT), In(INT), In(INT), In(INT), In(BYTE*), In(GpBitmap**))) \
  X(Make, GdipCreateBitmapFromGraphics, "gdiplus.dll", (In(INT), In(INT), Obj(GpGraphics*)))                \
  X(Make, GdipCreateBitmapFromGdiDib, "gdiplus.dll", (In(const BITMAPINFO*), In(void*)))                    \
  X(Make, GdipCreateBitmapFromHBITMAP, "gdiplus.dll", (In(HBITMAP), In(HPALETTE)))                          \
  X(Make, GdipCreateBitmapFromHICON, "gdiplus.dll", (In(HICON)))                                            \
  X(Make, GdipCreateBitmapFromResource, "gdiplus.dll", (In(HINSTANCE), Name))                               \
  X(Get, GdipCreateHBITMAPFromBitmap, "gdiplus.dll", (Out(HBITMAP), In(ARGB)))                              \
  X(Get, GdipCreateHICONFromBitmap, "gdiplus.dll", (Out(HICON)))                                            \
  X(Hand, GdipCloneBitmapArea, "gdiplus.dll",                                                               \
    (In(float), In(float), In(float), In(float), In(INT), In(GpBitmap*), In(GpBitmap**)))                   \
  /* bitmaps: pixels */                                                                                     \
  X(Act, GdipBitmapLockBits, "gdiplus.dll", (Ref(Rect), In(UINT), In(INT), Mut(BitmapData)))                \
  X(Act, GdipBitmapUnlockBits, "gdiplus.dll", (Mut(BitmapData)))                                            \
  X(Get, GdipBitmapGetPixel, "gdiplus.dll", (In(INT), In(INT), Out(ARGB)))                                  \
  X(Act, GdipBitmapSetPixel, "gdiplus.dll", (In(INT), In(INT), In(ARGB)))                                   \
  X(Act, GdipBitmapSetResolution, "gdiplus.dll", (In(float), In(float)))                                    \
  X(Hand, GdipBitmapApplyEffect, "gdiplus.dll",                                                             \
    (In(GpBitmap*), In(CGpEffect*), In(RECT*), In(BOOL), In(void**), In(INT*)))

// RegionObject, in the order of its operations.
#define SNIPORA_GDIPLUS_REGION_FUNCTIONS(X)                                                                 \
  /* create and delete */                                                                                   \
  X(Hand, GdipDeleteRegion, "Gdiplus.dll", (In(GpRegion*)))                                                 \
  X(Make, GdipCreateRegion, "Gdiplus.dll", ())                                                              \
  X(Make, GdipCreateRegionRect, "Gdiplus.dll", (Ref(RectF)))                                                \
  X(Make, GdipCreateRegionRectI, "Gdiplus.dll", (Ref(Rect)))                                                \
  X(Make, GdipCreateRegionPath, "Gdiplus.dll", (Obj(GpPath*)))                                              \
  X(Make, GdipCreateRegionHrgn, "Gdiplus.dll", (In(HRGN)))                                                  \
  X(Make, GdipCreateRegionRgnData, "Gdiplus.dll", (In(const BYTE*), In(INT)))                               \
  X(Hand, GdipCloneRegion, "Gdiplus.dll", (In(GpRegion*), In(GpRegion**)))                                  \
  /* change */                                                                                              \
  X(Act, GdipSetInfinite, "gdiplus", ())                                                                    \
  X(Act, GdipSetEmpty, "gdiplus", ())                                                                       \
  X(Act, GdipCombineRegionRect, "gdiplus", (Ref(RectF), Opt(INT, kCombineIntersect)))                       \
  X(Act, GdipCombineRegionRectI, "gdiplus", (Ref(Rect), Opt(INT, kCombineIntersect)))                       \
  X(Act, GdipCombineRegionRegion, "gdiplus", (Obj(GpRegion*), Opt(INT, kCombineIntersect)))                 \
  X(Act, GdipCombineRegionPath, "gdiplus", (Obj(GpPath*), Opt(INT, kCombineIntersect)))                     \
  X(Act, GdipTranslateRegion, "gdiplus", (In(float), In(float)))                                            \
  X(Act, GdipTranslateRegionI, "gdiplus", (In(INT), In(INT)))                                               \
  X(Act, GdipTransformRegion, "gdiplus", (Obj(GpMatrix*)))                                                  \
  /* query */                                                                                               \
  X(Get, GdipGetRegionBounds, "GdiPlus.dll", (Obj(GpGraphics*), Out(RectF)))                                \
  X(Get, GdipGetRegionBoundsI, "GdiPlus.dll", (Obj(GpGraphics*), Out(Rect)))                                \
  X(Get, GdipGetRegionDataSize, "GdiPlus.dll", (Out(UINT)))                                                 \
  X(Act, GdipGetRegionData, "GdiPlus.dll", (In(BYTE*), In(UINT), Mut(UINT)))                                \
  X(Get, GdipGetRegionHRgn, "GdiPlus.dll", (OptObj(GpGraphics*), Out(HRGN)))                                \
  X(Get, GdipIsEmptyRegion, "GdiPlus.dll", (Obj(GpGraphics*), Out(BOOL)))                                   \
  X(Get, GdipIsInfiniteRegion, "GdiPlus.dll", (Obj(GpGraphics*), Out(BOOL)))                                \
  X(Get, GdipIsEqualRegion, "GdiPlus.dll", (Obj(GpRegion*), Obj(GpGraphics*), Out(BOOL)))                   \
  X(Get, GdipIsVisibleRegionPoint, "GdiPlus.dll", (In(float), In(float), OptObj(GpGraphics*), Out(BOOL)))   \
  X(Get, GdipIsVisibleRegionPointI, "GdiPlus.dll", (In(INT), In(INT), OptObj(GpGraphics*), Out(BOOL)))      \
  X(Get, GdipIsVisibleRegionRect, "GdiPlus.dll",                                                            \
    (In(float), In(float), In(float), In(float), OptObj(GpGraphics*), Out(BOOL)))                           \
  X(Get, GdipIsVisibleRegionRectI, "GdiPlus.dll",                                                           \
    (In(INT), In(INT), In(INT), In(INT), OptObj(GpGraphics*), Out(BOOL)))                                   \
  X(Get, GdipGetRegionScansCount, "GdiPlus.dll", (Out(UINT), Obj(GpMatrix*)))                               \
  X(Act, GdipGetRegionScans, "GdiPlus.dll", (In(RectF*), Mut(INT), Obj(GpMatrix*)))                         \
  X(Act, GdipGetRegionScansI, "GdiPlus.dll", (In(Rect*), Mut(INT), Obj(GpMatrix*)))

namespace snipora {

inline constexpr int32_t kCombineIntersect = 1;

namespace flat {

// How each kind of argument reaches the flat function (a leading comma each).
#define SNIPORA_FLAT_In(T) , T
#define SNIPORA_FLAT_Ref(T) , const T*
#define SNIPORA_FLAT_Mut(T) , T*
#define SNIPORA_FLAT_Io(T) , T*
#define SNIPORA_FLAT_Obj(T) , T
#define SNIPORA_FLAT_OptObj(T) , T
#define SNIPORA_FLAT_DefObj(T) , T
#define SNIPORA_FLAT_Null(T) , T
#define SNIPORA_FLAT_Opt(T, value) , T
#define SNIPORA_FLAT_Out(T) , T*
#define SNIPORA_FLAT_Array(R) , R*, INT
#define SNIPORA_FLAT_Points3(R) , const R*, INT
#define SNIPORA_FLAT_Text , const wchar_t*, INT
#define SNIPORA_FLAT_Name , const wchar_t*
#define SNIPORA_FLAT_TYPE(name, element) SNIPORA_FLAT_##element
#define SNIPORA_FLAT_TYPES(...) SNIPORA_PP_EACH(SNIPORA_FLAT_TYPE, __VA_ARGS__)

// The flat signature of a line: the object's handle comes first, or, for a
// factory, last as the output.
#define SNIPORA_FLAT_SIGNATURE_Act(Handle, arguments) GpStatus(Handle SNIPORA_FLAT_TYPES arguments)
#define SNIPORA_FLAT_SIGNATURE_Get(Handle, arguments) GpStatus(Handle SNIPORA_FLAT_TYPES arguments)
#define SNIPORA_FLAT_SIGNATURE_Make(Handle, arguments) \
  GpStatus(SNIPORA_PP_TAIL(~SNIPORA_FLAT_TYPES arguments, Handle*))
#define SNIPORA_FLAT_SIGNATURE_Hand(Handle, arguments) GpStatus(SNIPORA_PP_TAIL(~SNIPORA_FLAT_TYPES arguments))

// Every line but an Extra one is a function to bind.
#define SNIPORA_FLAT_IF_Act(...) __VA_ARGS__
#define SNIPORA_FLAT_IF_Get(...) __VA_ARGS__
#define SNIPORA_FLAT_IF_Make(...) __VA_ARGS__
#define SNIPORA_FLAT_IF_Hand(...) __VA_ARGS__
#define SNIPORA_FLAT_IF_Extra(...)

#define SNIPORA_FLAT_PLAIN_ID(name, library, exported, ...) name,
#define SNIPORA_FLAT_ID(shape, name, library, arguments) SNIPORA_FLAT_IF_##shape(name, )

enum class FlatFunction : int {
  SNIPORA_GDIPLUS_PLAIN_FUNCTIONS(SNIPORA_FLAT_PLAIN_ID)
  SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(SNIPORA_FLAT_ID)
  SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(SNIPORA_FLAT_ID)
  SNIPORA_GDIPLUS_REGION_FUNCTIONS(SNIPORA_FLAT_ID)
  Count
};

extern ExternalEntry flatFunctionTable[static_cast<int>(FlatFunction::Count)];

// The entry of one function: its cache slot is where a test puts a stand-in.
inline ExternalEntry& FlatEntry(FlatFunction function) { return flatFunctionTable[static_cast<int>(function)]; }

#define SNIPORA_FLAT_ACCESSOR_(name, ...) \
  inline constexpr ExternalFunction<__VA_ARGS__> name{flatFunctionTable[static_cast<int>(FlatFunction::name)]};
#define SNIPORA_FLAT_PLAIN_ACCESSOR(name, library, exported, ...) SNIPORA_FLAT_ACCESSOR_(name, __VA_ARGS__)
#define SNIPORA_FLAT_ACCESSOR(Handle, shape, name, library, arguments) \
  SNIPORA_FLAT_IF_##shape(SNIPORA_FLAT_ACCESSOR_(name, SNIPORA_FLAT_SIGNATURE_##shape(Handle, arguments)))
#define SNIPORA_FLAT_GRAPHICS_ACCESSOR(...) SNIPORA_FLAT_ACCESSOR(GpGraphics*, __VA_ARGS__)
#define SNIPORA_FLAT_IMAGE_ACCESSOR(...) SNIPORA_FLAT_ACCESSOR(GpImage*, __VA_ARGS__)
#define SNIPORA_FLAT_REGION_ACCESSOR(...) SNIPORA_FLAT_ACCESSOR(GpRegion*, __VA_ARGS__)

SNIPORA_GDIPLUS_PLAIN_FUNCTIONS(SNIPORA_FLAT_PLAIN_ACCESSOR)
SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(SNIPORA_FLAT_GRAPHICS_ACCESSOR)
SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(SNIPORA_FLAT_IMAGE_ACCESSOR)
SNIPORA_GDIPLUS_REGION_FUNCTIONS(SNIPORA_FLAT_REGION_ACCESSOR)

// Releases every library the list loaded; made once, when the program's
// message loop has ended.
void ReleaseFlatFunctions();

}  // namespace flat
}  // namespace snipora
