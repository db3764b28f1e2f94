// SPDX-License-Identifier: MIT
#include "monitor/sampling_tick.h"

#include <utility>

#include "monitor/figures.h"
#include "toolkit/number_format.h"

namespace pelmora::monitor {

SamplingTick::SamplingTick(const TickControls& controls, const TickServices& services,
                           CpuLoadMeter& meter, History& history,
                           std::function<void()> checkProcessSet)
    : controls_(controls),
      services_(services),
      meter_(meter),
      history_(history),
      checkProcessSet_(std::move(checkProcessSet)) {}

void SamplingTick::WriteLabel(int index, const std::string& text) {
  controls_.Label1[index]->SetCaption(text);
}

void SamplingTick::Timer1_Timer() {
  if (controls_.Timer1.Tag() == kStartMarker) {
    history_.WarmUpCount = 50;
    controls_.Timer1.SetTag("");
  } else if (history_.WarmUpCount > 0) {
    --history_.WarmUpCount;
  }

  const float cpu = meter_.ReadCpuLoad(services_.CpuTime, services_.Clock) / 100;

  platform::MemoryStatus memory;
  services_.Memory.GlobalMemoryStatus(memory);
  const auto physical = static_cast<float>(UsePercent(memory.dwTotalPhys, memory.dwAvailPhys));

  history_.PushSample(cpu, physical);

  toolkit::Window& form = controls_.Form;
  if (form.WindowState() == toolkit::kWindowMinimized) {
    form.SetCaption("CPU:" + toolkit::Format00(cpu) + "% ");
    form.SetCaption(form.Caption() + "Mem:" + toolkit::Format00(physical) + "%");
    return;
  }
  form.SetCaption(kCaption);

  if (checkProcessSet_) checkProcessSet_();

  const double virtualUse = UsePercent(memory.dwTotalVirtual, memory.dwAvailVirtual);
  const double pageFileUse = UsePercent(memory.dwTotalPageFile, memory.dwAvailPageFile);
  platform::FreeResources& resources = services_.Resources;
  WriteLabel(1, KilobyteText(memory.dwTotalPhys));
  WriteLabel(3, KilobyteText(memory.dwAvailPhys));
  WriteLabel(5, UseText(physical));
  WriteLabel(7, KilobyteText(memory.dwTotalVirtual));
  WriteLabel(9, KilobyteText(memory.dwAvailVirtual));
  WriteLabel(11, UseText(virtualUse));
  WriteLabel(13, KilobyteText(memory.dwTotalPageFile));
  WriteLabel(15, KilobyteText(memory.dwAvailPageFile));
  WriteLabel(17, UseText(pageFileUse));
  WriteLabel(19, ResourceText(resources.GetFreeSystemResources(platform::kResourceSystem)));
  WriteLabel(21, ResourceText(resources.GetFreeSystemResources(platform::kResourceUser)));
  WriteLabel(23, ResourceText(resources.GetFreeSystemResources(platform::kResourceGdi)));

  controls_.StatusBar1.SetPanelText(2, CpuPanelText(cpu));

  history_.DrawGraph(controls_.Picture1);
}

}  // namespace pelmora::monitor
