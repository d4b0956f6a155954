#pragma once
// The few preprocessor tools with which the flat-function list is turned into
// bindings and object operations.

// Everything but the first argument: SNIPORA_PP_TAIL(~ , a, b) is a, b, and
// SNIPORA_PP_TAIL(~) is nothing. Lists built of ", x" pieces start with ~.
#define SNIPORA_PP_TAIL(...) SNIPORA_PP_TAIL_(__VA_ARGS__)
#define SNIPORA_PP_TAIL_(first, ...) __VA_ARGS__

#define SNIPORA_PP_HEAD(first, ...) first
#define SNIPORA_PP_REST(first, ...) (__VA_ARGS__)
#define SNIPORA_PP_UNPAREN(...) __VA_ARGS__
#define SNIPORA_PP_CALL(macro, arguments) macro arguments

// SNIPORA_PP_EACH(M, e1, e2, ...) is M(a1, e1) M(a2, e2) ...: each element
// with a parameter name of its own. Up to 16 elements.
#define SNIPORA_PP_EACH(M, ...) \
  __VA_OPT__(SNIPORA_PP_EXPAND(SNIPORA_PP_EACH_(M, (a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11, a12, a13, a14, a15, a16), __VA_ARGS__)))
#define SNIPORA_PP_EACH_(M, names, element, ...)                       \
  M(SNIPORA_PP_HEAD names, element)                                    \
  __VA_OPT__(SNIPORA_PP_EACH_AGAIN SNIPORA_PP_PARENS(M, SNIPORA_PP_REST names, __VA_ARGS__))
#define SNIPORA_PP_EACH_AGAIN() SNIPORA_PP_EACH_
#define SNIPORA_PP_PARENS ()

// Enough rescans for SNIPORA_PP_EACH's 16 steps.
#define SNIPORA_PP_EXPAND(...) SNIPORA_PP_EXPAND3(SNIPORA_PP_EXPAND3(SNIPORA_PP_EXPAND3(__VA_ARGS__)))
#define SNIPORA_PP_EXPAND3(...) SNIPORA_PP_EXPAND2(SNIPORA_PP_EXPAND2(SNIPORA_PP_EXPAND2(__VA_ARGS__)))
#define SNIPORA_PP_EXPAND2(...) SNIPORA_PP_EXPAND1(SNIPORA_PP_EXPAND1(__VA_ARGS__))
#define SNIPORA_PP_EXPAND1(...) __VA_ARGS__
