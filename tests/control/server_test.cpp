#include "control/server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "core/detached.h"
#include "core/text.h"
#include "tests/control/control_fixture.h"

using namespace controltest;

TEST_F(ControlTest, Server_BeforeStart_EmptySnapshotDeduplicatedQueueAndAlerts) {
    const ServerStatus empty = Server::Instance().GetStatus();
    EXPECT_FALSE(empty.apache.running || empty.mysql.running || empty.busy || Server::Instance().AnyRunning());
    EXPECT_TRUE(empty.apacheCpu.empty() && empty.others.empty() && empty.tick == 0);
    // The count is published as jobs are queued, so a caller never sees "nothing queued" early.
    Server::Instance().StartAll();
    Server::Instance().StartAll();
    EXPECT_EQ(Server::Instance().GetStatus().queued, 1);
    Server::Instance().Enqueue("", [] {}, "");
    Server::Instance().Enqueue("", [] {}, "");
    EXPECT_EQ(Server::Instance().GetStatus().queued, 3);
    // Each restart is a job of its own beside the others that wait, and once only.
    for (int round = 0; round < 2; ++round) {
        for (auto restart : {&Server::RestartApache, &Server::RestartMySql, &Server::RestartApacheIfRunning,
                             &Server::RestartMySqlIfRunning})
            (Server::Instance().*restart)();
        EXPECT_EQ(Server::Instance().GetStatus().queued, 7) << round;
    }

    Alert last;
    EXPECT_FALSE(Server::Instance().LastAlertSince(last, 0));
    Server::Instance().PushAlert("first", "one", true, alert_action::kApache);
    QueueAlert(Alert{"second", "two", false, alert_action::kMySql});
    EXPECT_FALSE(Server::Instance().LastAlertSince(last, 2));
    EXPECT_TRUE(Server::Instance().LastAlertSince(last, 0) && last.title == "second");
    EXPECT_EQ(PopAlerts(), (std::vector<std::string>{"! first | one | 2", "second | two | 4"}));
    EXPECT_EQ(Server::Instance().AlertCount(), 2u);  // popping does not lower the count
}

TEST_F(ControlTest, Worker_RunsJobsInOrder_SurvivesThrowsAndPublishesBusy) {
    std::vector<std::string> seen;  // written only by the worker, read after it is idle
    Server::Instance().Enqueue("Job A", [&] {
        const ServerStatus status = Server::Instance().GetStatus();
        seen.push_back(Format("A busy=%d label=%s queued=%d", status.busy, status.currentLabel.c_str(), status.queued));
        // Queued from inside a running job; its key may be queued again while it runs.
        Server::Instance().Enqueue("Job A", [&] { seen.push_back("A again"); }, "a");
    }, "a");
    Server::Instance().Enqueue("Throws", [] { throw std::runtime_error("boom"); }, "");
    Server::Instance().Enqueue("Empty", nullptr, "");
    Server::Instance().Enqueue("", [&] { seen.push_back(Format("unlabelled busy=%d", Server::Instance().GetStatus().busy)); }, "");
    const auto lines = LinesDuring([] {
        Server::Instance().Start();
        ASSERT_TRUE(testkit::WaitFor(Idle));
    });

    EXPECT_EQ(seen, (std::vector<std::string>{"A busy=1 label=Job A queued=3", "unlabelled busy=0", "A again"}));
    EXPECT_EQ(lines, (std::vector<LogLine>{{console::kZerva, level::kError, "internal error: boom"},
                                           {console::kZerva, level::kError, "internal error: bad_function_call"}}));
    // Idle passes refresh the snapshot about once every 900 ms.
    const uint64_t tick = Server::Instance().GetStatus().tick;
    EXPECT_TRUE(tick >= 1 && testkit::WaitFor([&] { return Server::Instance().GetStatus().tick > tick; }, 5000));
}

TEST_F(ControlTest, Worker_Shutdown_FinishesRunningJobDropsWaitingAndIsSafeTwice) {
    std::atomic<bool> release{false}, running{false}, ranWaiting{false};
    Server::Instance().Start();
    Server::Instance().Enqueue("Long", [&] {
        running = true;
        (void)WaitUntil(60000, [&] { return release.load(); });
    }, "");
    Server::Instance().Enqueue("Waiting", [&] { ranWaiting = true; }, "");
    ASSERT_TRUE(testkit::WaitFor([&] { return running.load(); }));
    EXPECT_EQ(Server::Instance().GetStatus().queued, 1);

    // Two other threads ask for the end at once; both return only after the running job ended.
    std::atomic<int> returned{0};
    std::thread first([&] { Server::Instance().Shutdown(false); ++returned; });
    std::thread second([&] { Server::Instance().Shutdown(false); ++returned; });
    EXPECT_FALSE(testkit::WaitFor([&] { return returned > 0; }, 600));
    release = true;
    first.join(), second.join();
    EXPECT_EQ(returned.load(), 2);
    Server::Instance().Enqueue("After", [&] { ranWaiting = true; }, "");
    Server::Instance().Start();  // no restart after the end
    EXPECT_FALSE(testkit::WaitFor([&] { return ranWaiting.load(); }, 1200));
}

// A worker thread the system refuses: the start is alerted and every job, waiting before or queued
// after, fails with that reason instead of waiting for good (a quit would wait on it).
TEST_F(ControlTest, Worker_RefusedThread_EveryJobFailsWithTheReason_NothingWaits) {
    std::atomic<bool> ran{false};
    const auto lines = LinesDuring([&] {
        Server::Instance().StartAll();
        FailThreadStartsForTesting(true);
        Server::Instance().Start();
        FailThreadStartsForTesting(false);
        Server::Instance().Enqueue("", [&] { ran = true; }, "page-job");
    });
    EXPECT_TRUE(Has(lines, {console::kZerva, level::kError, "Cannot start the server thread: Starting servers..."}));
    EXPECT_TRUE(Has(lines, {console::kZerva, level::kError, "Cannot start the server thread: page-job"}));
    EXPECT_EQ(PopAlerts(), std::vector<std::string>{"! Cannot start the server thread | Zerva cannot start or stop the "
                                                    "servers until it is restarted. | 0"});
    const ServerStatus status = Server::Instance().GetStatus();
    EXPECT_TRUE(status.queued == 0 && !status.busy && !ran);
}
