# Builds the Release engine with CMake and copies it to $(EXE), the way
# distributed testing frameworks build an engine from its repository:
#   make EXE=/path/to/braxen        then   /path/to/braxen bench
# Everyday builds and tests use CMake directly (see the README).
EXE ?= braxen-engine
BUILD_DIR ?= build-release
JOBS ?= 2
CXX ?= g++

.PHONY: all clean

all:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DBRAXEN_TESTS=OFF -DCMAKE_CXX_COMPILER=$(CXX)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target braxen-engine
	@mkdir -p "$(dir $(EXE))"
	cp $(BUILD_DIR)/braxen-engine "$(EXE)"

clean:
	rm -rf $(BUILD_DIR)
