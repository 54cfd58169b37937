// Copies made ahead by a batch on several threads and put in place in
// their order.
#include "media/copy_batch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "media/fat_test_tools.h"
#include "support/test_support.h"

namespace {

// Waits (at most five seconds) until the batch's workers have made every
// copy they may make ahead: none is left that a worker could still begin.
bool workers_done(CopyBatch* batch) {
    for (int tries = 0; tries < 5000; ++tries) {
        {
            std::lock_guard<std::mutex> held(batch->lock);
            bool done = true;
            for (const auto& copy : batch->copies)
                if (copy->state == BATCH_COPYING ||
                    (copy->state == BATCH_WAITING && !copy->on_owner))
                    done = false;
            if (done) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

// Two copies to one name in two letter cases: the second replaces the
// first, as on one thread, rather than standing beside it in its own
// spelling, even when everything a worker may make ahead is made before
// the first takes its place.
TEST(CopyBatch, ASecondCopyToOneNameInAnotherLetterCaseReplacesTheFirst) {
    TempDir dir;
    write_host_file(dir.at("one.bin"), "first");
    write_host_file(dir.at("two.bin"), "second");
    std::string out = dir.at("out");
    ASSERT_EQ(mkdir(out.c_str(), 0755), 0);
    CopyBatch batch;
    copy_batch_start(&batch, 2);
    size_t first = copy_batch_add(&batch, engine_path(dir.at("one.bin")),
                                  engine_path(out + "/name.dat"), CopyOptions{});
    size_t second = copy_batch_add(&batch, engine_path(dir.at("two.bin")),
                                   engine_path(out + "/NAME.DAT"), CopyOptions{});
    ASSERT_TRUE(workers_done(&batch));
    EXPECT_EQ(copy_batch_finish(&batch, first), RC_OK);
    EXPECT_EQ(copy_batch_finish(&batch, second), RC_OK);
    copy_batch_end(&batch);
    EXPECT_EQ(folder_names(out), "name.dat|");
    EXPECT_EQ(read_host_file(out + "/name.dat"), "second");
}
