#pragma once
// Waiting for the thread dispatcher in tests.

namespace test {

// Queues an item and waits until it ran, so that what was queued before it has run too (unless
// a long item holds the executor). False after a generous deadline.
bool waitForDispatcher();

}  // namespace test
