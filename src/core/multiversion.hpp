// A hot kernel compiled for several instruction sets, the best one picked at load time by an ifunc
// resolver.  ThreadSanitizer builds get the single default version: their runtime is not yet started
// when the dynamic loader runs resolvers, and an instrumented resolver crashes the process.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define MORVELAY_CLONES(...)
#else
#define MORVELAY_CLONES(...) [[gnu::target_clones(__VA_ARGS__)]]
#endif
