// The flat-function list against the platform: every signature agrees with
// the platform's GDI+ declarations in argument count, size and kind (a wrong
// one unbalances the 32-bit stack, or passes a float where an integer
// belongs on 64-bit), and every entry resolves in the system's gdiplus.dll.
#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>  // before GDI+: the lean Windows headers leave OLE out
#include <gdiplus.h>

#include <array>
#include <set>
#include <string>
#include <type_traits>

#include "gdiplus/flat_functions.h"

namespace snipora {
namespace {

struct ArgumentShape {
  int size;
  bool floating;
  bool operator==(const ArgumentShape&) const = default;
};

template <class A>
constexpr ArgumentShape ShapeOf() {
  if constexpr (std::is_void_v<A>)
    return {0, false};
  else if constexpr (std::is_reference_v<A>)
    return {int(sizeof(void*)), false};  // a reference travels as an address
  else
    return {int(sizeof(A)), std::is_floating_point_v<A>};
}

template <class F>
struct Layout;
template <class R, class... A>
struct Layout<R(A...)> {
  static constexpr std::array<ArgumentShape, sizeof...(A)> arguments{ShapeOf<A>()...};
  static constexpr ArgumentShape result = ShapeOf<R>();
};
#if defined(__i386__)
template <class R, class... A>
struct Layout<R __attribute__((stdcall))(A...)> : Layout<R(A...)> {};
#endif

template <class E>
struct SignatureOf;
template <class S>
struct SignatureOf<ExternalFunction<S>> {
  using type = S;
};

template <class Ours, class Platform>
constexpr bool SameLayout() {
  using O = Layout<typename SignatureOf<std::remove_cv_t<Ours>>::type>;
  using P = Layout<Platform>;
  if constexpr (O::arguments.size() != P::arguments.size())
    return false;
  else
    return O::arguments == P::arguments && O::result == P::result;
}

#define SNIPORA_CHECK_SIGNATURE(shape, name, library, arguments)                                  \
  SNIPORA_FLAT_IF_##shape(static_assert(                                                          \
      SameLayout<decltype(flat::name), decltype(Gdiplus::DllExports::name)>(), #name " differs");)
SNIPORA_GDIPLUS_GRAPHICS_FUNCTIONS(SNIPORA_CHECK_SIGNATURE)
SNIPORA_GDIPLUS_IMAGE_FUNCTIONS(SNIPORA_CHECK_SIGNATURE)
SNIPORA_GDIPLUS_REGION_FUNCTIONS(SNIPORA_CHECK_SIGNATURE)
static_assert(SameLayout<decltype(flat::GdipAlloc), decltype(Gdiplus::DllExports::GdipAlloc)>());
static_assert(SameLayout<decltype(flat::GdipFree), decltype(Gdiplus::DllExports::GdipFree)>());
static_assert(SameLayout<decltype(flat::GdipGetImageEncodersSize),
                         decltype(Gdiplus::DllExports::GdipGetImageEncodersSize)>());
static_assert(
    SameLayout<decltype(flat::GdipGetImageEncoders), decltype(Gdiplus::DllExports::GdipGetImageEncoders)>());
static_assert(SameLayout<decltype(flat::StringFromGUID2), decltype(::StringFromGUID2)>());
static_assert(SameLayout<decltype(flat::WideCharToMultiByte), decltype(::WideCharToMultiByte)>());
static_assert(SameLayout<decltype(flat::lstrlenW), decltype(::lstrlenW)>());
static_assert(SameLayout<decltype(flat::MoveMemoryBlock), void WINAPI(void*, const void*, SIZE_T)>());

// Entries Wine's gdiplus.dll does not export: binding one would end the
// process, so no test may call them. Wine 8 exports every one.
const std::set<std::string> kMissingFromWine = {};

// Entries Wine exports as stubs: they resolve, but a call ends the process
// ("unimplemented function"). Tests reach them through stand-ins only.
const std::set<std::string> kStubsInWine = {
    "GdipEnumerateMetafileDestPoints",        "GdipEnumerateMetafileDestPointsI",
    "GdipEnumerateMetafileSrcRectDestPoint",  "GdipEnumerateMetafileSrcRectDestPointI",
    "GdipEnumerateMetafileSrcRectDestPointsI", "GdipGetEncoderParameterList",
};

TEST(FlatFunctions, EveryEntryResolvesInTheSystemLibraryAsDeclared) {
  std::set<std::string> names;
  for (const ExternalEntry& entry : flat::flatFunctionTable) {
    names.insert(entry.name);
    SCOPED_TRACE(std::string(entry.library) + " " + entry.name);
    HMODULE module = LoadLibraryA(entry.library);  // each spelling loads the same library
    ASSERT_NE(module, nullptr);
    const bool found = GetProcAddress(module, entry.name) != nullptr;
    EXPECT_EQ(found, !kMissingFromWine.count(entry.name));
    FreeLibrary(module);
  }
  EXPECT_EQ(names.size(), std::size(flat::flatFunctionTable)) << "a function is declared twice";
  for (const std::string& stub : kStubsInWine) EXPECT_TRUE(names.count(stub)) << stub;
}

}  // namespace
}  // namespace snipora
