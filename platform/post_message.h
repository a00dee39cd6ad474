/* Posting numbered messages to a message window from any thread.
 *
 * A message window is a hidden receiver that lives on the GUI thread and is
 * known by a 32-bit handle. Messages posted to it arrive in the order they
 * were posted, one at a time, through the GUI thread's event loop. A post to
 * a handle whose window has been released is dropped. */
#ifndef KERFWELL_PLATFORM_POST_MESSAGE_H
#define KERFWELL_PLATFORM_POST_MESSAGE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Returns 1 when the message was queued, 0 when no window has that handle. */
int platform_post_message(uint32_t handle, uint32_t message, uintptr_t wparam, intptr_t lparam);

#ifdef __cplusplus
}
#endif

#endif
