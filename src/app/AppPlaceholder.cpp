// The windows arrive with the start-up; until then the library holds nothing.
namespace velostok_app_placeholder { int unused = 0; }
