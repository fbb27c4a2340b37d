// The render farm: tools/farm-capture.sh on GNU parallel (local slots, and a
// real SSH login) and tools/farm-capture.sbatch on a real one-node Slurm
// cluster started here. Each run's frames must be the bytes of a one-machine
// capture of the same range.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "outputs/capture_parts.h"
#include "outputs/capture_plan.h"
#include "outputs/video_encoder.h"
#include "capture/farm_support.h"
#include "support/parse_options.h"
#include "support/check.h"

namespace fs = std::filesystem;

namespace {

const std::string range = "--fps 10 --from 13 --to 14";
const std::string quality = "--size 160x120";

std::string located(const std::string& name) {
    const std::string onPath = findOnPath(name);
    if (!onPath.empty()) return onPath;
    const std::string sbin = "/usr/sbin/" + name;
    return access(sbin.c_str(), X_OK) == 0 ? sbin : "";
}

// A port nothing listens on now.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// SIGTERM to the daemon in the pid file, SIGKILL if it is still there after 5 s.
void stopDaemon(const std::string& pidFile) {
    const pid_t pid = static_cast<pid_t>(std::atoi(fileContents(pidFile).c_str()));
    if (pid <= 1 || kill(pid, SIGTERM) != 0) return;
    for (int i = 0; i < 50 && kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(pid, SIGKILL);
}

bool failWith(const std::string& why, std::string& error) {
    error = why;
    return false;
}

// A folder of its own under /tmp (a socket's path has at most 108 bytes) for
// daemons, whose pid files it names: stops them and removes the folder when it
// goes, whatever happened.
class DaemonFolder {
public:
    DaemonFolder(std::vector<std::string> pidFiles) : pidFiles_(std::move(pidFiles)) {}
    DaemonFolder(const DaemonFolder&) = delete;
    DaemonFolder& operator=(const DaemonFolder&) = delete;
    ~DaemonFolder() {
        if (dir_.empty()) return;
        for (const std::string& pidFile : pidFiles_) stopDaemon(dir_ + "/" + pidFile);
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

protected:
    bool makeFolder(const std::string& name) {
        std::string folder = "/tmp/" + name + "-XXXXXX";
        if (!mkdtemp(folder.data())) return false;
        dir_ = folder;
        return true;
    }
    std::string dir_;

private:
    std::vector<std::string> pidFiles_;
};

// Renders the reference: the frames and the video of one machine.
class FarmRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not built";
        const ProgramResult whole = program("--capture whole --video whole.mp4 " + quality + " " + range);
        ASSERT_EQ(whole.exitCode, 0) << whole.output;
    }
    ProgramResult program(const std::string& args) { return runIn(dir_, "exec \"$PROGRAM\" --data \"$DATA\" " + args); }
    ProgramResult farm(const std::string& line, std::vector<std::string> env = {}) {
        env.push_back("TEMPLATE_BIN=" + programPath());
        return runIn(dir_, line, env);
    }
    // The folder holds the reference frames, byte for byte, and the video the same pictures and sound.
    void expectSameAsOneMachine(const std::string& frames, const std::string& video) {
        EXPECT_EQ(differingFiles(dir_ + "/whole", dir_ + "/" + frames), std::vector<std::string>{});
        EXPECT_EQ(videoFacts(dir_ + "/" + video).frames, 10);
        EXPECT_EQ(decodedChecksums(dir_ + "/" + video), decodedChecksums(dir_ + "/whole.mp4"));
    }
    const std::string dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

// A Slurm cluster of this machine alone: munged, slurmctld and slurmd on
// localhost with their configuration, state and logs in a folder of their own.
class OneNodeCluster : public DaemonFolder {
public:
    OneNodeCluster() : DaemonFolder({"slurmd.pid", "slurmctld.pid", "munge/munged.pid"}) {}

    std::string conf() const { return dir_ + "/slurm.conf"; }
    std::string logs() const { return fileContents(dir_ + "/slurmctld.log") + fileContents(dir_ + "/slurmd.log"); }

    bool start(std::string& error) {
        const passwd* munge = getpwnam("munge");
        if (!munge) return failWith("there is no user munge to run munged as", error);
        if (!makeFolder("farm-slurm")) return failWith("cannot make a folder for the cluster", error);
        chmod(dir_.c_str(), 0755);
        const std::string mungeDir = dir_ + "/munge";
        fs::create_directory(mungeDir);
        {
            std::ofstream key(mungeDir + "/munge.key", std::ios::binary);
            std::random_device random;
            for (int i = 0; i < 128; ++i) key.put(static_cast<char>(random()));
        }
        chmod((mungeDir + "/munge.key").c_str(), 0600);
        for (const std::string& path : {mungeDir, mungeDir + "/munge.key"})
            if (chown(path.c_str(), munge->pw_uid, munge->pw_gid) != 0) return failWith("cannot chown " + path, error);
        chmod(mungeDir.c_str(), 0755);  // munged refuses a socket folder others may write to
        const ProgramResult munged =
            runProgram({"runuser", "-u", "munge", "--", located("munged"), "--socket=" + socket(),
                        "--key-file=" + mungeDir + "/munge.key", "--log-file=" + mungeDir + "/munged.log",
                        "--pid-file=" + mungeDir + "/munged.pid", "--seed-file=" + mungeDir + "/munged.seed"});
        if (munged.exitCode != 0) return failWith("munged: " + munged.output, error);

        char host[256] = "";
        gethostname(host, sizeof host - 1);
        const unsigned cpus = std::max(1u, std::thread::hardware_concurrency());
        const std::string d = dir_;
        std::ofstream(conf())
            << "ClusterName=farmtest\nSlurmctldHost=" << host << "(127.0.0.1)\nSlurmctldPort=" << freePort()
            << "\nSlurmdPort=" << freePort() << "\nSlurmUser=root\nSlurmdUser=root\n"
            << "AuthType=auth/munge\nCredType=cred/munge\nAuthInfo=socket=" << socket() << "\n"
            << "ProctrackType=proctrack/linuxproc\nTaskPlugin=task/none\nSelectType=select/cons_tres\n"
            << "SelectTypeParameters=CR_Core\nMpiDefault=none\nReturnToService=2\nMailProg=/bin/true\n"
            << "StateSaveLocation=" << d << "/state\nSlurmdSpoolDir=" << d << "/spool\nSlurmctldPidFile=" << d
            << "/slurmctld.pid\nSlurmdPidFile=" << d << "/slurmd.pid\nSlurmctldLogFile=" << d
            << "/slurmctld.log\nSlurmdLogFile=" << d << "/slurmd.log\nNodeName=" << host
            << " NodeAddr=127.0.0.1 CPUs=" << cpus << " State=UNKNOWN\nPartitionName=farm Nodes=" << host
            << " Default=YES MaxTime=INFINITE State=UP\n";
        fs::create_directories(dir_ + "/state");
        fs::create_directories(dir_ + "/spool");
        // Both go to the background themselves; their output goes to a file so
        // that they do not hold our pipe open.
        for (const std::string daemon : {"slurmctld", "slurmd"}) {
            const ProgramResult started =
                runProgram({"/bin/sh", "-c", "exec \"$0\" >\"$1\" 2>&1", located(daemon), dir_ + "/" + daemon + ".out"},
                           {"SLURM_CONF=" + conf()});
            if (started.exitCode != 0)
                return failWith(daemon + " did not start: " + fileContents(dir_ + "/" + daemon + ".out"), error);
        }
        // Up once the node takes jobs.
        for (int i = 0; i < 300; ++i) {
            if (runProgram({"sinfo", "-h", "-o", "%T"}, {"SLURM_CONF=" + conf()}).output.find("idle") == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return failWith("the node never became idle: " + logs(), error);
    }

private:
    std::string socket() const { return dir_ + "/munge/munge.socket"; }
};

// An SSH server for this user on a free loopback port, with its own host key
// and a key pair whose public half it accepts, all in a folder of its own:
// "another machine" that shares this one's files, as a farm's machines share
// the frame folder.
class LoopbackSsh : public DaemonFolder {
public:
    LoopbackSsh() : DaemonFolder({"sshd.pid"}) {}

    // The machine as GNU parallel's --sshloginfile names it: the ssh command with its options, then user@host.
    std::string login() const {
        return "ssh -p " + std::to_string(port_) + " -i " + dir_ + "/user_key -o BatchMode=yes -o LogLevel=ERROR" +
               " -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null " + user_ + "@127.0.0.1";
    }
    std::string log() const { return fileContents(dir_ + "/sshd.log"); }

    bool start(std::string& error) {
        if (!makeFolder("farm-ssh")) return failWith("cannot make a folder for the server", error);
        const passwd* me = getpwuid(geteuid());
        if (!me) return failWith("this user has no name", error);
        user_ = me->pw_name;
        for (const std::string key : {"host_key", "user_key"}) {
            const ProgramResult made =
                runProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", dir_ + "/" + key});
            if (made.exitCode != 0) return failWith("ssh-keygen: " + made.output, error);
        }
        fs::copy_file(dir_ + "/user_key.pub", dir_ + "/authorized_keys");
        port_ = freePort();
        std::ofstream(dir_ + "/sshd_config")
            << "Port " << port_ << "\nListenAddress 127.0.0.1\nHostKey " << dir_ << "/host_key\nPidFile " << dir_
            << "/sshd.pid\nAuthorizedKeysFile " << dir_
            << "/authorized_keys\nPasswordAuthentication no\nKbdInteractiveAuthentication "
            << "no\nPermitRootLogin prohibit-password\nStrictModes no\nUsePAM no\n";
        // As root sshd wants its empty privilege-separation folder.
        if (geteuid() == 0) fs::create_directories("/run/sshd");
        const ProgramResult started =
            runProgram({located("sshd"), "-f", dir_ + "/sshd_config", "-E", dir_ + "/sshd.log"});
        if (started.exitCode != 0) return failWith("sshd: " + started.output + log(), error);
        for (int i = 0; i < 50; ++i) {
            if (runProgram({"/bin/sh", "-c", login() + " true"}).exitCode == 0) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return failWith("cannot log in: " + log(), error);
    }

private:
    std::string user_;
    int port_ = 0;
};

}  // namespace

// Whatever the rate, range and split, the parts the script plans (through the
// program's --list-parts) select, by their own --from/--to, exactly their
// ticks, one after the other, and together every tick of the range: at the
// end of the show too, where the clock runs slow.
TEST(FarmParts, PartsTogetherSelectEveryTickOfTheRangeExactlyOnce) {
    struct Case {
        int fps;
        std::string from, to, split;
    };
    for (const Case& c : {Case{10, "13", "14", "--part-frames 3"}, Case{60, "0", "106", "--parts 7"},
                          Case{25, "0", "106", "--part-frames 60"}, Case{1000, "105.9", "106", "--parts 3"},
                          Case{1000, "105.99", "106", "--part-frames 5"}, Case{7, "0.3", "1", "--parts 9"},
                          Case{10, "105.75", "106", "--parts 3"}, Case{24, "50.02", "50.9", "--part-frames 4"},
                          Case{30, "99.999", "100.001", "--parts 2"}}) {
        SCOPED_TRACE(std::to_string(c.fps) + " " + c.from + " " + c.to + " " + c.split);
        const ProgramResult listed = runIn(sourceDir(),
                                           "exec tools/farm-capture.sh --list-parts --fps " + std::to_string(c.fps) +
                                               " --from " + c.from + " --to " + c.to + " " + c.split,
                                           {"TEMPLATE_BIN=" + programPath()});
        ASSERT_EQ(listed.exitCode, 0) << listed.output;
        Options whole;
        std::string error;
        ASSERT_TRUE(
            parse({"--capture", "x", "--fps", std::to_string(c.fps), "--from", c.from, "--to", c.to}, whole, error));
        CapturePlan plan;
        ASSERT_TRUE(planCapture(c.fps, whole.capture.range.fromSeconds, whole.capture.range.toSeconds,
                                showLengthSeconds, plan, error))
            << error;

        std::istringstream lines(listed.output);
        int next = plan.firstTick, parts = 0;
        for (std::string line; std::getline(lines, line);) {
            int first = 0, last = 0;
            char from[64] = "", to[64] = "";
            ASSERT_EQ(std::sscanf(line.c_str(), "%d %d %63s %63s", &first, &last, from, to), 4) << line;
            if (last < first) continue;  // a share with nothing to do
            Options part;
            ASSERT_TRUE(
                parse({"--capture", "x", "--fps", std::to_string(c.fps), "--from", from, "--to", to}, part, error))
                << line << ": " << error;
            CapturePlan partPlan;
            ASSERT_TRUE(planCapture(c.fps, part.capture.range.fromSeconds, part.capture.range.toSeconds,
                                    showLengthSeconds, partPlan, error))
                << line << ": " << error;
            EXPECT_EQ(partPlan.firstTick, first) << line;
            EXPECT_EQ(partPlan.lastTick, last) << line;
            EXPECT_EQ(first, next) << line << ": parts follow each other without a gap or an overlap";
            next = last + 1;
            ++parts;
        }
        EXPECT_EQ(next, plan.lastTick + 1) << "the parts end where the range ends";
        EXPECT_GT(parts, 0);
    }
    const ProgramResult empty =
        runIn(sourceDir(), "exec tools/farm-capture.sh --list-parts --fps 10 --from 3.01 --to 3.05",
              {"TEMPLATE_BIN=" + programPath()});
    EXPECT_TRUE(refused(empty, "no frame"));
}

// Known answers: shares past the frame count are empty, and at 1000 frames
// per second the ticks the slow clock adds after 106 s join the last part
// that a --from can reach.
TEST(FarmParts, EmptySharesAndTheTicksPastTheShowsLength) {
    CapturePlan plan;
    std::string error;
    ASSERT_TRUE(planCapture(7, 0.3, 1.0, showLengthSeconds, plan, error)) << error;
    std::vector<std::string> lines;
    for (const CapturePart& part : splitCapture(plan, PartSplit::Shares, 6, showLengthSeconds))
        lines.push_back(partLine(part, plan, "1"));
    // Ticks 3 to 6 in six shares start at 3 + floor(4i / 6): 3, 3, 4, 5, 5, 6.
    EXPECT_EQ(lines,
              (std::vector<std::string>{"0 -1 - -", "3 3 0.357142857143 0.5", "4 4 0.5 0.642857142857", "0 -1 - -",
                                        "5 5 0.642857142857 0.785714285714", "6 6 0.785714285714 1"}));

    ASSERT_TRUE(planCapture(1000, 105.99, 106.0, showLengthSeconds, plan, error)) << error;
    ASSERT_GT(plan.lastTick, 106000) << "the clock at 1 ms steps runs slow";
    const std::vector<CapturePart> parts = splitCapture(plan, PartSplit::Frames, 5, showLengthSeconds);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[2].firstTick, 106000);
    EXPECT_EQ(parts[2].lastTick, plan.lastTick);
    EXPECT_EQ(partLine(parts[2], plan, "106"), "106000 " + std::to_string(plan.lastTick) + " 105.9995 106");
}

TEST_F(FarmRun, GnuParallelWithTwoSlotsMatchesOneMachineAndARerunRedoesOnlyTheFailedPart) {
    if (located("parallel").empty()) GTEST_SKIP() << "GNU parallel is not installed";
    // A folder where one frame goes fails the part of ticks 133 to 135, both tries.
    fs::create_directories(dir_ + "/farmed/frame_00134.png");
    const std::string command =
        "exec \"$TOOLS/farm-capture.sh\" --out farmed --data \"$DATA\" --video farmed.mp4 "
        "--part-frames 3 " +
        quality + " " + range;
    const ProgramResult failed = farm(command + " --jobs 2");
    EXPECT_TRUE(refused(failed, "part ticks 133 to 135 (--from 13.25 --to 13.55) failed: 3 frames missing", false, 1));
    EXPECT_TRUE(contains(failed.output, "1 of 4 parts failed"));
    EXPECT_FALSE(fs::exists(dir_ + "/farmed.mp4")) << "no video of an incomplete folder";
    EXPECT_TRUE(fs::exists(dir_ + "/farmed/frame_00139.png")) << "the other parts were done";
    std::istringstream joblog(fileContents(dir_ + "/farmed/.farm-capture.joblog"));
    std::string failedJob;
    for (std::string line; std::getline(joblog, line);)
        if (line.find("--from 13.25") != std::string::npos) failedJob = line;
    EXPECT_TRUE(contains(failedJob, "\t2\t0\t")) << "the job log shows its exit status";

    // Again, through a login file of two local slots: only the failed part runs.
    fs::remove(dir_ + "/farmed/frame_00134.png");
    std::ofstream(dir_ + "/machines") << "2/:\n";
    const ProgramResult rerun = farm(command + " --sshloginfile machines");
    ASSERT_EQ(rerun.exitCode, 0) << rerun.output;
    EXPECT_TRUE(contains(rerun.output, "rendering 1 of 4 parts"));
    expectSameAsOneMachine("farmed", "farmed.mp4");
}

// Through a real SSH login (a server on the loopback port, so the "remote"
// machine shares this one's files): the parts' command lines survive ssh's
// second round of shell quoting, a folder name with a space included.
TEST_F(FarmRun, GnuParallelOverSshMatchesOneMachine) {
    for (const char* tool : {"parallel", "sshd", "ssh", "ssh-keygen"})
        if (located(tool).empty()) GTEST_SKIP() << tool << " is not installed (Debian: parallel, openssh-server)";
    LoopbackSsh machine;
    std::string error;
    ASSERT_TRUE(machine.start(error)) << error;
    std::ofstream(dir_ + "/machines") << "2/" << machine.login() << "\n";
    const ProgramResult run = farm(
        "exec \"$TOOLS/farm-capture.sh\" --out 'over ssh' --data \"$DATA\" --video farmed.mp4 "
        "--sshloginfile machines --part-frames 3 " +
        quality + " " + range);
    ASSERT_EQ(run.exitCode, 0) << run.output << machine.log();
    expectSameAsOneMachine("over ssh", "farmed.mp4");
    // Every part ran through the login, none on this machine directly.
    std::istringstream joblog(fileContents(dir_ + "/over ssh/.farm-capture.joblog"));
    int throughSsh = 0, jobs = 0;
    for (std::string line; std::getline(joblog, line);) {
        if (line.rfind("Seq", 0) == 0) continue;
        ++jobs;
        if (line.find("\tssh -p ") != std::string::npos) ++throughSsh;
    }
    EXPECT_EQ(jobs, 4);
    EXPECT_EQ(throughSsh, jobs) << fileContents(dir_ + "/over ssh/.farm-capture.joblog");
}

TEST_F(FarmRun, SlurmArrayOnOneNodeMatchesOneMachineAndARerunRedoesOnlyTheFailedShare) {
    for (const char* tool : {"sbatch", "sinfo", "slurmctld", "slurmd", "munged", "runuser"})
        if (located(tool).empty()) GTEST_SKIP() << tool << " is not installed (Debian: slurm-wlm, munge)";
    if (geteuid() != 0) GTEST_SKIP() << "slurmd must run as root";
    OneNodeCluster cluster;
    std::string error;
    ASSERT_TRUE(cluster.start(error)) << error;

    const std::vector<std::string> env = {"SLURM_CONF=" + cluster.conf()};
    auto logs = [this, &cluster] {
        std::string all = cluster.logs();
        for (const auto& entry : fs::directory_iterator(dir_))
            if (entry.path().extension() == ".log") all += fileContents(entry.path().string());
        return all;
    };
    // A cluster that cannot run the jobs would keep them queued: give up after two minutes.
    const std::string submit =
        "rm -f *.log; exec timeout 120 sbatch --wait --array=0-2 \"$TOOLS/farm-capture.sbatch\" --out farmed "
        "--data \"$DATA\" --video farmed.mp4 " +
        quality + " " + range;
    fs::create_directories(dir_ + "/farmed/frame_00134.png");
    const ProgramResult failed = farm(submit, env);
    EXPECT_NE(failed.exitCode, 0) << failed.output << logs();
    EXPECT_TRUE(contains(logs(), "share 1/3 (ticks 133 to 135) failed twice: 3 of its frames are missing"));
    EXPECT_FALSE(fs::exists(dir_ + "/farmed.mp4"));

    fs::remove(dir_ + "/farmed/frame_00134.png");
    const ProgramResult rerun = farm(submit, env);
    ASSERT_EQ(rerun.exitCode, 0) << rerun.output << logs();
    const std::string rerunLogs = logs();
    EXPECT_TRUE(contains(rerunLogs, "share 0/3 (ticks 130 to 132) is already there"));
    EXPECT_TRUE(contains(rerunLogs, "share 2/3 (ticks 136 to 139) is already there"));
    EXPECT_TRUE(contains(rerunLogs, "assembled 10 frames"));
    expectSameAsOneMachine("farmed", "farmed.mp4");
}
