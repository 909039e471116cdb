// The Matches screen: showMatchesScreen, saveMatch and toggleFutureMatches, included into app.js.
