// Clang thread-safety annotations. They expand to nothing on other compilers, so the same code
// builds with g++; the clang (TSan) build checks them with -Wthread-safety -Werror.
#pragma once

#if defined(__clang__)
#define ZQ_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define ZQ_THREAD_ANNOTATION(x)
#endif

#define CAPABILITY(x) ZQ_THREAD_ANNOTATION(capability(x))
#define SCOPED_CAPABILITY ZQ_THREAD_ANNOTATION(scoped_lockable)
#define GUARDED_BY(x) ZQ_THREAD_ANNOTATION(guarded_by(x))
#define PT_GUARDED_BY(x) ZQ_THREAD_ANNOTATION(pt_guarded_by(x))
#define ACQUIRED_BEFORE(...) ZQ_THREAD_ANNOTATION(acquired_before(__VA_ARGS__))
#define ACQUIRED_AFTER(...) ZQ_THREAD_ANNOTATION(acquired_after(__VA_ARGS__))
#define REQUIRES(...) ZQ_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) ZQ_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define RELEASE(...) ZQ_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) ZQ_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) ZQ_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define RETURN_CAPABILITY(x) ZQ_THREAD_ANNOTATION(lock_returned(x))
#define NO_THREAD_SAFETY_ANALYSIS ZQ_THREAD_ANNOTATION(no_thread_safety_analysis)
