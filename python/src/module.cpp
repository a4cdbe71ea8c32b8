// The module _kestrel: the package's calls into the library. Each call runs
// its work on a thread of its own with the GIL released, while the calling
// thread looks for Ctrl-C every 100 ms and, when it comes, sets the
// library's interrupt flag, so that the work stops as the programs stop.
// The values come back as numpy arrays over the buffers the library filled.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <exception>
#include <mutex>
#include <sstream>
#include <thread>

#include "base/interrupt.hpp"
#include "base/version.hpp"
#include "calls.hpp"
#include "join/command.hpp"
#include "study/study.hpp"

namespace py = pybind11;
using namespace kestrel;
using namespace kestrel::python;

namespace {

// The package's exception classes, from kestrel._errors.
[[noreturn]] void raise(const PyFailure& f) {
  if (f.kind == PyFailure::Kind::interrupted) {
    PyErr_SetNone(PyExc_KeyboardInterrupt);
    throw py::error_already_set();
  }
  const char* name = f.kind == PyFailure::Kind::input  ? "InputError"
                     : f.kind == PyFailure::Kind::file ? "FileError"
                                                       : "MissingFileError";
  py::object cls = py::module_::import("kestrel._errors").attr(name);
  PyErr_SetObject(cls.ptr(), py::str(f.message).ptr());
  throw py::error_already_set();
}

// The exception a signal handler raised, kept while the work stops.
struct Pending {
#if PY_VERSION_HEX >= 0x030C0000
  PyObject* raised = nullptr;
  void fetch() { raised = PyErr_GetRaisedException(); }
  void restore() { PyErr_SetRaisedException(raised); }
  [[nodiscard]] bool held() const { return raised != nullptr; }
#else
  PyObject *type = nullptr, *value = nullptr, *trace = nullptr;
  void fetch() { PyErr_Fetch(&type, &value, &trace); }
  void restore() { PyErr_Restore(type, value, trace); }
  [[nodiscard]] bool held() const { return type != nullptr; }
#endif
};

// Runs `work` off the GIL on a worker thread; Ctrl-C while it runs raises
// KeyboardInterrupt once the work has stopped.
template <class F>
auto released(F&& work) -> decltype(work()) {
  using R = decltype(work());
  clear_interrupt();
  std::optional<R> result;
  std::exception_ptr error;
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  Pending pending;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        result.emplace(work());
      } catch (...) {
        error = std::current_exception();
      }
      const std::lock_guard<std::mutex> lock(m);
      done = true;
      cv.notify_one();
    });
    std::unique_lock<std::mutex> lock(m);
    while (!cv.wait_for(lock, std::chrono::milliseconds(100), [&] { return done; })) {
      if (pending.held()) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) {
          pending.fetch();
          note_interrupt(SIGINT);
        }
      }
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (pending.held()) {
    pending.restore();
    throw py::error_already_set();
  }
  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const PyFailure& f) {
      raise(f);
    }
  }
  return std::move(*result);
}

template <class T>
py::array_t<T> owned(std::vector<T>&& v, std::vector<py::ssize_t> shape) {
  auto* held = new std::vector<T>(std::move(v));
  py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
  return py::array_t<T>(shape, held->data(), owner);
}

py::bytes bytes_of(const std::string& s) { return py::bytes(s); }

py::dict open_dataset(const std::string& path) {
  DatasetData d = released([&] { return read_dataset(path); });
  const dataset::HeaderInfo& h = d.header;
  const auto nrec = static_cast<py::ssize_t>(h.xrec.size());
  py::dict out;
  float* raw = d.values.release();
  py::capsule owner(raw, [](void* p) { delete[] static_cast<float*>(p); });
  out["values"] = py::array_t<float>({static_cast<py::ssize_t>(d.periods), nrec}, raw, owner);
  const auto n = static_cast<py::ssize_t>(d.ends.size());
  out["ends"] = owned(std::move(d.ends), {n});
  out["begins"] = owned(std::move(d.begins), {n});
  out["x"] = py::array_t<float>(nrec, h.xrec.data());
  out["y"] = py::array_t<float>(nrec, h.yrec.data());
  out["z"] = py::array_t<float>(nrec, h.zrec.data());
  py::dict head;
  head["kind"] = bytes_of(h.kind);
  head["version"] = bytes_of(h.version);
  py::list comments;
  for (const std::string& c : h.comments) comments.append(bytes_of(c));
  head["comments"] = comments;
  head["model"] = bytes_of(h.model);
  head["begin"] = hours_since_epoch({h.iyrb, h.ijulb, h.ihrb});
  head["irlg"] = h.irlg;
  head["iavg"] = h.iavg;
  head["nsecdt"] = h.nsecdt;
  head["nx"] = h.nx;
  head["ny"] = h.ny;
  head["dxkm"] = h.dxkm;
  head["dykm"] = h.dykm;
  head["xorigkm"] = h.xorigkm;
  head["yorigkm"] = h.yorigkm;
  py::list titles;
  for (const std::string& t : h.titles) titles.append(bytes_of(t));
  head["titles"] = titles;
  head["speclev"] = bytes_of(h.speclev);
  head["csrcnam"] = bytes_of(h.csrcnam);
  out["header"] = head;
  return out;
}

py::dict read_postfile_call(const std::string& path, const std::string& control, const std::string& type) {
  PostfileData d = released([&] { return kestrel::python::read_postfile(path, control, type); });
  const auto nrec = static_cast<py::ssize_t>(d.x.size());
  const auto n = static_cast<py::ssize_t>(d.ends.size());
  py::dict out;
  d.values.resize(static_cast<std::size_t>(n * nrec));
  out["values"] = owned(std::move(d.values), {n, nrec});
  out["ends"] = owned(std::move(d.ends), {n});
  out["group"] = owned(std::move(d.group), {n});
  out["kave"] = owned(std::move(d.kave), {n});
  out["x"] = owned(std::move(d.x), {nrec});
  out["y"] = owned(std::move(d.y), {nrec});
  out["z"] = owned(std::move(d.z), {nrec});
  out["groups"] = d.groups;
  out["warnings"] = d.warnings;
  out["species"] = d.species;
  out["titles"] = d.titles;
  out["factor"] = d.factor;
  out["type"] = d.type;
  out["types"] = d.types;
  return out;
}

py::dict statistic_call(const py::array_t<float, py::array::c_style | py::array::forcecast>& values,
                        const py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>& ends,
                        const std::string& name, double to_own, const std::string& own_unit,
                        const std::string& shown, const std::string& met, const std::string& control,
                        const std::string& source) {
  if (values.ndim() != 2 || ends.ndim() != 1 || ends.shape(0) != values.shape(0)) {
    throw py::value_error("values must be time x receptor, with one time per row");
  }
  const std::vector<std::int64_t> e(ends.data(), ends.data() + ends.shape(0));
  const float* v = values.data();
  const std::int64_t periods = values.shape(0);
  const std::int64_t receptors = values.shape(1);
  StatisticData d =
      released([&] {
        return kestrel::python::statistic(v, periods, receptors, e,
                                          {name, to_own, own_unit, shown, met, control, source});
      });
  py::dict out;
  const auto n = static_cast<py::ssize_t>(d.values.size());
  out["values"] = owned(std::move(d.values), {n});
  out["ends"] = owned(std::move(d.ends), {n});
  out["title"] = d.title;
  out["column"] = d.column;
  out["dated"] = d.dated;
  out["unit"] = d.unit;
  out["flags"] = d.flagged ? py::cast(d.flags) : py::none();
  out["warnings"] = d.warnings;
  return out;
}

py::dict run_end(const RunEnd& e, const std::string& given) {
  py::dict r;
  r["given"] = given;
  r["status"] = e.status;
  r["text"] = e.text;
  r["kind"] = std::string(kind_name(e.kind));
  r["control"] = e.control;
  r["seconds"] = e.seconds;
  r["bytes_read"] = e.bytes_read;
  r["warnings"] = e.warning_texts;
  py::list datasets;
  for (const DatasetAccount& a : e.accounts) {
    py::dict d;
    d["shown"] = a.shown;
    d["type"] = std::string(dataset::traits(a.type).keyword);
    d["periods"] = a.periods;
    d["receptors"] = a.receptors;
    if (a.periods > 0) {
      d["first"] = hours_since_epoch(a.first);
      d["last"] = hours_since_epoch(a.last);
    }
    datasets.append(d);
  }
  r["datasets"] = datasets;
  return r;
}

py::dict convert_call(const std::vector<std::string>& args, const std::string& dir) {
  struct Out {
    StudyOutcome outcome;
    std::string console, err;
  };
  Out o = released([&] {
    std::ostringstream console, err;
    StudyCall call;
    call.install_handlers = false;
    call.progress = false;
    Out r{run_study(args, dir, console, err, call), {}, {}};
    r.console = console.str();
    r.err = err.str();
    return r;
  });
  py::dict out;
  out["status"] = o.outcome.status;
  out["console"] = o.console;
  out["err"] = o.err;
  py::list runs;
  for (std::size_t i = 0; i < o.outcome.ends.size(); ++i) runs.append(run_end(o.outcome.ends[i], o.outcome.given[i]));
  out["runs"] = runs;
  return out;
}

py::tuple join_call(const std::vector<std::string>& args, const std::string& dir) {
  struct Out {
    int status;
    std::string out, err;
  };
  Out o = released([&] {
    std::ostringstream out, err;
    const int status = join::run_join(args, dir, out, err);
    return Out{status, out.str(), err.str()};
  });
  return py::make_tuple(o.status, o.out, o.err);
}

// Waits `seconds` on the worker as a long read would, looking at the
// interrupt flag as the readers do: the tests' way to press Ctrl-C at a
// known moment.
bool wait_call(double seconds) {
  return released([&] {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < until) {
      if (interrupt_pending() != 0) throw PyFailure{PyFailure::Kind::interrupted, "interrupted"};
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  });
}

}  // namespace

PYBIND11_MODULE(_kestrel, m) {
  m.doc() = "KESTREL's readers, conversion, join and statistics (the package kestrel wraps these)";
  m.attr("version") = std::string(mver);
  m.def("open_dataset", &open_dataset, py::arg("path"));
  m.def("read_postfile", &read_postfile_call, py::arg("path"), py::arg("control"), py::arg("type"));
  m.def("statistic", &statistic_call, py::arg("values"), py::arg("ends"), py::arg("name"), py::arg("to_own"),
        py::arg("own_unit"), py::arg("shown"), py::arg("met") = "", py::arg("control") = "",
        py::arg("source") = "");
  m.def("convert", &convert_call, py::arg("args"), py::arg("dir"));
  m.def("join", &join_call, py::arg("args"), py::arg("dir"));
  m.def("_wait", &wait_call, py::arg("seconds"));
}
