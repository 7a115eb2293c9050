// Preloaded into the client to give it a system that cannot start threads.
#include <cerrno>
#include <pthread.h>

extern "C" int pthread_create(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *) {
  return EAGAIN;
}
