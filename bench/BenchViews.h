#pragma once

// What the poll benchmarks give a poll cycle: its steps run inline, and the
// views keep only the field state and the cycle rates shown.
#include "PollCycle.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <vector>

class TInlineExecutor : public IPollExecutor {
public:
    void Sync(const std::function<void()>& step) override { step(); }
};

class TBenchViews : public IPollViews {
public:
    TFieldState State;
    std::mutex M;
    std::vector<double> Rates;
    std::atomic<bool> Ready{false}, Done{false};

    bool HdmiWanted(int&, THdmiWanted&) const override { return false; }
    void SetInitIndicator(bool, bool) override {}
    void SetConfigIndicator(bool, bool, int) override {}
    void SetStateIndicator(bool, bool) override {}
    void SetProcIndicator(bool) override {}
    void PaintStatus(bool, const std::array<TSwitcherStatus, 4>&, int) override {}
    void EnableStatusRows() override {}
    void ResetStatusRows() override {}
    void ApplySize(int i, int o) override {
        State.SetInputs(i);
        State.SetOutputs(o);
    }
    void FirstCycle(int n) override {
        State.SetLevelCount(n);
        Ready.store(true);
    }
    void SetFieldStatus(int o, const TLevelValues& v) override {
        for (int k = 1; k <= 4; ++k) {
            State.StoreStatus(o, k, v[static_cast<std::size_t>(k - 1)]);
            State.StorePreset(o, k, v[static_cast<std::size_t>(k - 1)]);
        }
    }
    void SetFieldLock(int o, std::uint32_t b) override { State.StoreLock(o, b); }
    void SetPreviewStatus(int, const TLevelValues&) override {}
    void SetFieldMonitor(const TLevelValues&) override {}
    void ShowCycleRate(double r) override {
        std::lock_guard l(M);
        Rates.push_back(r);
    }
    void PublishHdmi(int, const THdmiState&, const THdmiState&) override {}
    void Finish() override {}
    void PostProgress(int, int) override {}
    void PostPollDone() override { Done.store(true); }

    // The mean of the cycle rates shown, leaving out the first quarter (start-up).
    double AverageRate() {
        std::lock_guard l(M);
        const std::size_t skip = Rates.size() / 4;
        double sum = 0;
        for (std::size_t i = skip; i < Rates.size(); ++i)
            sum += Rates[i];
        return sum / static_cast<double>(std::max<std::size_t>(1, Rates.size() - skip));
    }
};
