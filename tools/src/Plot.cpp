#include "Plot.h"

#include "FileNames.h"
#include "Process.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace plughost {

namespace {

// A gnuplot single-quoted string: quotes inside are doubled.
std::string quoted(const std::string &text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') {
      out += '\'';
    }
  }
  return out + "'";
}

// A title without the characters gnuplot's enhanced text mode interprets.
std::string plainText(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '^' || c == '_' || c == '@' || c == '&' || c == '{' || c == '}' || c == '~' ||
        c == '\\') {
      out += '\\';
      out += '\\';
    }
    out += c;
  }
  return out;
}

} // namespace

std::string findPlotter(std::string &error) {
  std::string program = findOnPath("gnuplot");
#if defined(_WIN32)
  if (program.empty()) {
    for (const char *candidate : {"C:\\Program Files\\gnuplot\\bin\\gnuplot.exe",
                                  "C:\\Program Files (x86)\\gnuplot\\bin\\gnuplot.exe"}) {
      std::error_code ec;
      if (std::filesystem::is_regular_file(candidate, ec)) {
        program = candidate;
        break;
      }
    }
  }
  if (program.empty()) {
    error = "plotting needs gnuplot, which was not found on the PATH (install gnuplot for "
            "Windows, or plot the --csv timeline elsewhere)";
  }
#else
  if (program.empty()) {
    error = "plotting needs gnuplot, which was not found on the PATH (apt-get install "
            "gnuplot-nox)";
  }
#endif
  return program;
}

std::string plotScript(const PlotRequest &request) {
  std::ostringstream s;
  const std::string csv = quoted(request.csvPath);
  const double end = request.seconds > 0.0 ? request.seconds : 1.0;
  s << "set terminal pngcairo size 1200," << (request.kind == PlotKind::Controller ? 520 : 680)
    << " font 'Sans,10'\n"
    << "set output " << quoted(request.pngPath) << "\n"
    << "set datafile separator ','\n"
    << "set key top right opaque box\n"
    << "set grid\n"
    << "set xrange [0:" << end << "]\n"
    << "set xlabel 'time (s)'\n"
    << "rate = " << request.sampleRate << "\n";
  const std::string title = quoted(plainText(request.title));
  const std::string inputLevel = "plot " + csv +
                                 " using 'time_s':'input_peak' with filledcurves y1=0 "
                                 "lc rgb '#8fb3d9' title 'input level (block peak)'";
  switch (request.kind) {
  case PlotKind::Controller:
    s << "set title " << title << "\n"
      << "set ylabel 'input level (block peak)'\n"
      << "set yrange [0:*]\n"
      << "set ytics nomirror\n"
      << "set y2label 'control-change value'\n"
      << "set y2range [0:130]\n"
      << "set y2tics 0,16,127\n"
      << inputLevel << ", \\\n"
      << "  " << csv
      << " using (column('time_s') + column('frames') / rate):'cc_value' axes x1y2 "
         "with steps lw 2 lc rgb '#c0392b' title "
      << quoted(plainText(request.controlLabel)) << "\n";
    break;
  case PlotKind::Routing:
    s << "set multiplot layout 2,1 title " << title << "\n"
      << "set lmargin 10\n"
      << "set size 1,0.38\nset origin 0,0.58\n"
      << "set ylabel 'input level'\n"
      << "set yrange [0:*]\n"
      << "unset xlabel\n"
      << inputLevel << "\n"
      << "set size 1,0.58\nset origin 0,0\n"
      << "set xlabel 'time (s)'\n"
      << "set ylabel 'active output'\n"
      << "set yrange [0.5:" << request.outputs + 0.5 << "]\n"
      << "set ytics 1\n"
      << "unset key\n"
      << "plot for [i=1:" << request.outputs << "] " << csv
      << " using 'time_s':(column(sprintf('out%d_peak', i)) > 0 ? i : NaN) "
         "with points pt 5 ps 0.6 lc i\n"
      << "unset multiplot\n";
    break;
  case PlotKind::Levels:
    s << "set title " << title << "\n"
      << "set ylabel 'level (block peak)'\n"
      << "set yrange [0:*]\n"
      << inputLevel << ", \\\n"
      << "  for [i=1:" << request.outputs << "] " << csv
      << " using 'time_s':(column(sprintf('out%d_peak', i))) with lines lw 1.5 "
         "title sprintf('output %d', i)\n";
    break;
  }
  return s.str();
}

bool drawPlot(const std::string &plotter, const PlotRequest &request, std::string &error) {
  const std::string script = request.pngPath + ".gp";
  const std::string log = request.pngPath + ".log";
  {
    std::ofstream out(script, std::ios::binary);
    out << plotScript(request);
    if (!out) {
      error = "cannot write the plot script beside '" + request.pngPath + "'";
      return false;
    }
  }
  const int status = runProgram(plotter, {script}, log);
  std::string firstLine;
  {
    std::ifstream in(log);
    std::string line;
    while (firstLine.empty() && std::getline(in, line)) {
      firstLine = trimmed(line);
    }
  }
  std::error_code ec;
  std::filesystem::remove(script, ec);
  std::filesystem::remove(log, ec);
  std::uintmax_t size = std::filesystem::file_size(request.pngPath, ec);
  if (status != 0 || ec || size == 0) {
    error =
        "gnuplot could not draw the plot" + (firstLine.empty() ? std::string() : ": " + firstLine);
    return false;
  }
  return true;
}

} // namespace plughost
