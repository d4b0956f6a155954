#pragma once
// Object operations generated from the flat-function list: each line of an
// object's list becomes one virtual operation, declared in the class by
// SNIPORA_OPERATION_DECLARATION and defined in its source by
// SNIPORA_OPERATION_DEFINITION, in the list's order. What every argument kind
// turns into is one line of each table below; the kinds are described in
// flat_functions.h.
#include <span>

#include "gdiplus/flat_functions.h"
#include "gdiplus/marshalling.h"
#include "gdiplus/preprocessor.h"
#include "runtime/text.h"

// An argument as a tuple (kind, types...), so that each table gets its name.
#define SNIPORA_OP_TUPLE_In(T) (In, T)
#define SNIPORA_OP_TUPLE_Ref(T) (Ref, T)
#define SNIPORA_OP_TUPLE_Mut(T) (Mut, T)
#define SNIPORA_OP_TUPLE_Io(T) (Io, T)
#define SNIPORA_OP_TUPLE_Obj(T) (Obj, T)
#define SNIPORA_OP_TUPLE_OptObj(T) (OptObj, T)
#define SNIPORA_OP_TUPLE_DefObj(T) (DefObj, T)
#define SNIPORA_OP_TUPLE_Null(T) (Null, T)
#define SNIPORA_OP_TUPLE_Opt(T, value) (Opt, T, value)
#define SNIPORA_OP_TUPLE_Out(T) (Out, T)
#define SNIPORA_OP_TUPLE_Array(R) (Array, R)
#define SNIPORA_OP_TUPLE_Points3(R) (Points3, R)
#define SNIPORA_OP_TUPLE_Text (Text)
#define SNIPORA_OP_TUPLE_Name (Name)

// table##kind(p, types...) for the argument named p.
#define SNIPORA_OP_APPLY(table, p, element) SNIPORA_OP_APPLY_(table, p, SNIPORA_OP_TUPLE_##element)
#define SNIPORA_OP_APPLY_(table, p, tuple) SNIPORA_PP_CALL(SNIPORA_OP_APPLY__, (table, p, SNIPORA_PP_UNPAREN tuple))
#define SNIPORA_OP_APPLY__(table, p, kind, ...) table##kind(p __VA_OPT__(, ) __VA_ARGS__)

// The operation's parameter in its declaration (a leading comma each).
#define SNIPORA_DECL_In(p, T) , T p
#define SNIPORA_DECL_Ref(p, T) , const T& p
#define SNIPORA_DECL_Mut(p, T) , T& p
#define SNIPORA_DECL_Io(p, T) , T p
#define SNIPORA_DECL_Obj(p, T) , const GdiplusObject& p
#define SNIPORA_DECL_OptObj(p, T) , const GdiplusObject* p
#define SNIPORA_DECL_DefObj(p, T) , const GdiplusObject* p = nullptr
#define SNIPORA_DECL_Null(p, T)
#define SNIPORA_DECL_Opt(p, T, value) , T p = value
#define SNIPORA_DECL_Out(p, T)
#define SNIPORA_DECL_Array(p, R) , std::span<R> p
#define SNIPORA_DECL_Points3(p, R)                                                                        \
  , CoordinateOf<R> p##_x1, CoordinateOf<R> p##_y1, CoordinateOf<R> p##_x2, CoordinateOf<R> p##_y2, \
      CoordinateOf<R> p##_x3, CoordinateOf<R> p##_y3
#define SNIPORA_DECL_Text(p) , TextView p
#define SNIPORA_DECL_Name(p) , TextView p

// ... and in its definition, where defaults are not repeated.
#define SNIPORA_DEF_In SNIPORA_DECL_In
#define SNIPORA_DEF_Ref SNIPORA_DECL_Ref
#define SNIPORA_DEF_Mut SNIPORA_DECL_Mut
#define SNIPORA_DEF_Io SNIPORA_DECL_Io
#define SNIPORA_DEF_Obj SNIPORA_DECL_Obj
#define SNIPORA_DEF_OptObj SNIPORA_DECL_OptObj
#define SNIPORA_DEF_DefObj(p, T) , const GdiplusObject* p
#define SNIPORA_DEF_Null SNIPORA_DECL_Null
#define SNIPORA_DEF_Opt(p, T, value) , T p
#define SNIPORA_DEF_Out SNIPORA_DECL_Out
#define SNIPORA_DEF_Array SNIPORA_DECL_Array
#define SNIPORA_DEF_Points3 SNIPORA_DECL_Points3
#define SNIPORA_DEF_Text SNIPORA_DECL_Text
#define SNIPORA_DEF_Name SNIPORA_DECL_Name

// What the operation prepares before the call.
#define SNIPORA_PREP_In(p, T)
#define SNIPORA_PREP_Ref(p, T)
#define SNIPORA_PREP_Mut(p, T)
#define SNIPORA_PREP_Io(p, T) T result = p;
#define SNIPORA_PREP_Obj(p, T)
#define SNIPORA_PREP_OptObj(p, T)
#define SNIPORA_PREP_DefObj(p, T)
#define SNIPORA_PREP_Null(p, T)
#define SNIPORA_PREP_Opt(p, T, value)
#define SNIPORA_PREP_Out(p, T) T result{};
#define SNIPORA_PREP_Array(p, R) RecordBuffer<R> p##_buffer(p);
#define SNIPORA_PREP_Points3(p, R)                                                \
  R p##_corners[3] = {{p##_x1, p##_y1}, {p##_x2, p##_y2}, {p##_x3, p##_y3}}; \
  RecordBuffer<R> p##_buffer(p##_corners);
#define SNIPORA_PREP_Text(p) const WideText p##_wide(p);
#define SNIPORA_PREP_Name(p) const WideText p##_wide(p);

// The argument the flat function receives (a leading comma each).
#define SNIPORA_ARG_In(p, T) , p
#define SNIPORA_ARG_Ref(p, T) , &p
#define SNIPORA_ARG_Mut(p, T) , &p
#define SNIPORA_ARG_Io(p, T) , &result
#define SNIPORA_ARG_Obj(p, T) , NativeOf<T>(p)
#define SNIPORA_ARG_OptObj(p, T) , NativeOf<T>(p)
#define SNIPORA_ARG_DefObj(p, T) , NativeOf<T>(p)
#define SNIPORA_ARG_Null(p, T) , static_cast<T>(nullptr)
#define SNIPORA_ARG_Opt(p, T, value) , p
#define SNIPORA_ARG_Out(p, T) , &result
#define SNIPORA_ARG_Array(p, R) , p##_buffer.data(), p##_buffer.count()
#define SNIPORA_ARG_Points3(p, R) , p##_buffer.data(), p##_buffer.count()
#define SNIPORA_ARG_Text(p) , p##_wide.data(), p##_wide.length()
#define SNIPORA_ARG_Name(p) , p##_wide.data()

// The type a getter answers.
#define SNIPORA_RESULT_In(p, T)
#define SNIPORA_RESULT_Ref(p, T)
#define SNIPORA_RESULT_Mut(p, T)
#define SNIPORA_RESULT_Io(p, T) T
#define SNIPORA_RESULT_Obj(p, T)
#define SNIPORA_RESULT_OptObj(p, T)
#define SNIPORA_RESULT_DefObj(p, T)
#define SNIPORA_RESULT_Null(p, T)
#define SNIPORA_RESULT_Opt(p, T, value)
#define SNIPORA_RESULT_Out(p, T) T
#define SNIPORA_RESULT_Array(p, R)
#define SNIPORA_RESULT_Points3(p, R)
#define SNIPORA_RESULT_Text(p)
#define SNIPORA_RESULT_Name(p)

#define SNIPORA_OP_DECL(p, element) SNIPORA_OP_APPLY(SNIPORA_DECL_, p, element)
#define SNIPORA_OP_DEF(p, element) SNIPORA_OP_APPLY(SNIPORA_DEF_, p, element)
#define SNIPORA_OP_PREP(p, element) SNIPORA_OP_APPLY(SNIPORA_PREP_, p, element)
#define SNIPORA_OP_ARG(p, element) SNIPORA_OP_APPLY(SNIPORA_ARG_, p, element)
#define SNIPORA_OP_RESULT(p, element) SNIPORA_OP_APPLY(SNIPORA_RESULT_, p, element)
#define SNIPORA_DECL_PARAMETERS(...) SNIPORA_PP_TAIL(~SNIPORA_PP_EACH(SNIPORA_OP_DECL, __VA_ARGS__))
#define SNIPORA_DEF_PARAMETERS(...) SNIPORA_PP_TAIL(~SNIPORA_PP_EACH(SNIPORA_OP_DEF, __VA_ARGS__))
#define SNIPORA_PREPARE(...) SNIPORA_PP_EACH(SNIPORA_OP_PREP, __VA_ARGS__)
#define SNIPORA_CALL_ARGUMENTS(...) SNIPORA_PP_EACH(SNIPORA_OP_ARG, __VA_ARGS__)
#define SNIPORA_RESULT_TYPE(...) SNIPORA_PP_EACH(SNIPORA_OP_RESULT, __VA_ARGS__)

// In the class, in the list's order. A Hand or Extra line declares what the
// macro SNIPORA_HAND_<name> holds.
#define SNIPORA_OPERATION_DECLARATION(shape, name, library, arguments) SNIPORA_DECLARE_##shape(name, arguments)
#define SNIPORA_DECLARE_Act(name, arguments) virtual bool name(SNIPORA_DECL_PARAMETERS arguments);
#define SNIPORA_DECLARE_Get(name, arguments) \
  virtual SNIPORA_RESULT_TYPE arguments name(SNIPORA_DECL_PARAMETERS arguments);
#define SNIPORA_DECLARE_Make(name, arguments) virtual bool name(SNIPORA_DECL_PARAMETERS arguments);
#define SNIPORA_DECLARE_Hand(name, arguments) SNIPORA_HAND_##name
#define SNIPORA_DECLARE_Extra(name, arguments) SNIPORA_HAND_##name

// In the class's source: `field` is its handle field. Hand and Extra
// operations are written out there.
#define SNIPORA_OPERATION_DEFINITION(Class, field, shape, name, library, arguments) \
  SNIPORA_DEFINE_##shape(Class, field, name, arguments)
#define SNIPORA_DEFINE_Act(Class, field, name, arguments)                      \
  bool Class::name(SNIPORA_DEF_PARAMETERS arguments) {                         \
    SNIPORA_PREPARE arguments return Succeeded(flat::name(field SNIPORA_CALL_ARGUMENTS arguments)); \
  }
#define SNIPORA_DEFINE_Get(Class, field, name, arguments)                                     \
  SNIPORA_RESULT_TYPE arguments Class::name(SNIPORA_DEF_PARAMETERS arguments) {               \
    SNIPORA_PREPARE arguments return GetterResult(flat::name(field SNIPORA_CALL_ARGUMENTS arguments), result); \
  }
// A factory: the object lets go of what it held, GDI+ writes the new handle
// into the object's own field, and SetNative makes the base agree with it.
#define SNIPORA_DEFINE_Make(Class, field, name, arguments)                                          \
  bool Class::name(SNIPORA_DEF_PARAMETERS arguments) {                                              \
    SNIPORA_PREPARE arguments ReleaseHandle();                                                      \
    const bool ok = Succeeded(flat::name(SNIPORA_PP_TAIL(~SNIPORA_CALL_ARGUMENTS arguments, &field))); \
    SetNative(field);                                                                               \
    return ok;                                                                                      \
  }
#define SNIPORA_DEFINE_Hand(Class, field, name, arguments)
#define SNIPORA_DEFINE_Extra(Class, field, name, arguments)
