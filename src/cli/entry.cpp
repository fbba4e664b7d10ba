#include "cli/entry.h"

#include <cstdint>
#include <exception>
#include <iostream>
#include <string>

#include <boost/program_options.hpp>

#include "cli/chromatic_mode.h"
#include "cli/counting_mode.h"
#include "cli/settings.h"
#include "graph/input_error.h"

namespace po = boost::program_options;

namespace tintara {

namespace {

std::string caption() {
  const std::string stars = " " + std::string(63, '*') + " ";
  return std::string(" ") + "\n" + stars + "\n" +
         " Tintara package for graph coloring counting estimation. " + "\n" +
         " Written by the Tintara developers. " + "\n" +
         " Questions and bug reports: the Tintara issue tracker. " + "\n" + stars + "\n" +
         " Allowed options";
}

}  // namespace

int runTintara(int argc, char** argv) {
  std::string problem;
  int32_t colors = 3;
  int32_t N = 1000;
  double rho = 0.2;
  double terr = 0.03;
  int32_t chrom = 0;

  po::options_description description(caption(), 80, 40);
  // One option a line, in the order the listing shows them.
  // clang-format off
  description.add_options()
      ("help", "produce help message")
      ("problem", po::value<std::string>(&problem), "input graph instance file")
      ("colors", po::value<int32_t>(&colors), "# of colors (default is 3)")
      ("N", po::value<int32_t>(&N), "splitting budget (default is 1000)")
      ("rho", po::value<double>(&rho), "splitting rarity parameter (default is 0.2)")
      ("terr", po::value<double>(&terr), "target relative error (default is 0.03)")
      ("chrom", po::value<int32_t>(&chrom),
       "find chromatic number only (default is 0 - for counting)");
  // clang-format on

  try {
    po::variables_map options;
    po::store(po::parse_command_line(argc, argv, description, 0), options);
    po::notify(options);

    if (options.count("help") || options.empty()) {
      std::cout << description << std::endl;
      std::cout << " (Usage example for counting: Tintara.exe --problem 3x3_grid.txt --colors 3 "
                   "--N=100 --rho 0.2 --terr 0.03)"
                << std::endl;
      std::cout << " (Usage example for finding chromatic nuber only: Tintara.exe --problem "
                   "3x3_grid.txt --N=100 --rho 0.2 --chrom 1)"
                << std::endl;
      return 1;
    }
    if (!options.count("problem")) {
      std::cout << "No input graph was specified" << std::endl;
      return 1;
    }

    if (chrom == 1) {
      if (auto error = checkChromaticSettings(N, rho)) {
        std::cout << *error << std::endl;
        return 1;
      }
      return runChromatic(problem, N, rho);
    }
    if (chrom == 0) {
      if (auto error = checkCountingSettings(colors, N, rho, terr)) {
        std::cout << *error << std::endl;
        return 1;
      }
      return runCounting(problem, N, rho, terr, colors);
    }
  } catch (const InputError& error) {
    std::cout << error.what() << std::endl;
    return 1;
  } catch (const std::exception&) {
    std::cout << description << "\n" << std::flush;
    return 1;
  }
  return 0;
}

}  // namespace tintara
