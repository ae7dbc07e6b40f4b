# The card server's logic, its program, and a helper for tests that run it.
add_library(cardserver STATIC
  CardServer.cpp CardServer.h
  ClientConnection.cpp ClientConnection.h
  Log.cpp Log.h
  ServerLimits.h
  ServerOptions.cpp ServerOptions.h
  card/Card.cpp card/Card.h card/CardOperations.cpp
  card/DecodingChannel.h card/TextFeed.h
  card/Ita2.cpp card/Ita2.h
  card/SimulatedChannel.cpp card/SimulatedChannel.h
  sources/ChannelFactory.cpp sources/ChannelFactory.h
  sources/DemoFeed.cpp sources/DemoFeed.h
  sources/SynopBulletin.cpp sources/SynopBulletin.h
  sources/TextFileFeed.cpp sources/TextFileFeed.h
  sources/WeatherModel.cpp sources/WeatherModel.h
  data/cardserver_data.qrc
)
target_include_directories(cardserver PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(cardserver PUBLIC cardprotocol Qt6::Core Qt6::Network)
target_compile_definitions(cardserver PRIVATE PLUVANE_DEFAULT_CONFIG="${PLUVANE_CONFIG_DIR}/cardserver.conf")
# Audio sources decode through the RTTY demodulator beside this folder.
if(TARGET rttydemod)
  target_sources(cardserver PRIVATE card/AudioChannel.cpp card/AudioChannel.h)
  target_link_libraries(cardserver PRIVATE rttydemod)
  target_compile_definitions(cardserver PRIVATE PLUVANE_CARD_AUDIO)
endif()

add_executable(pluvane-cardserver main.cpp)
target_link_libraries(pluvane-cardserver PRIVATE cardserver)
target_compile_definitions(pluvane-cardserver PRIVATE PLUVANE_VERSION="${PROJECT_VERSION}")
install(TARGETS pluvane-cardserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Starts the real server on a free loopback port for end-to-end tests.
add_library(cardserver_testing STATIC testing/CardServerProcess.cpp testing/CardServerProcess.h)
target_include_directories(cardserver_testing PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(cardserver_testing PUBLIC Qt6::Core Qt6::Network)
target_compile_definitions(cardserver_testing PRIVATE
  PLUVANE_CARDSERVER_PATH="$<TARGET_FILE:pluvane-cardserver>")
add_dependencies(cardserver_testing pluvane-cardserver)

if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests/CMakeLists.txt)
  add_subdirectory(tests)
endif()
