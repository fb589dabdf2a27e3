/* libzelko.so is the engine's static archive linked whole; this file only
   gives the shared-library target a source of its own. */
